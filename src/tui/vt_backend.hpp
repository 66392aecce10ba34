#pragma once
// The backend on a real terminal: the cells of a frame become standard VT/xterm sequences,
// collected in one buffer and sent with one checked write at the flush. What it writes does not
// depend on TERM or the locale; symbols go out as the UTF-8 they are. It does not own the
// descriptor and sets no terminal modes.

#include <memory>

#include "tui/terminal.hpp"

namespace vireo::tui {

// A backend that draws on the terminal `output_fd`.
std::unique_ptr<Backend> make_vt_backend(int output_fd);

}  // namespace vireo::tui
