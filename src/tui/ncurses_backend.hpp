#pragma once
// The backend on the real terminal, through ncursesw: standard output, colours and italics where
// the terminal has them. It reads no input and sets no tty modes beyond what ncurses needs for
// output; destroying it ends ncurses and gives the screen back.

#include <expected>
#include <memory>

#include "common/io_error.hpp"
#include "tui/terminal.hpp"

namespace vireo::tui {

// Starts ncurses on the terminal `output_fd` (with a UTF-8 character type: the environment's when
// it is UTF-8, else C.UTF-8). Only one may be open at a time.
std::expected<std::unique_ptr<Backend>, IoError> open_ncurses_backend(int output_fd);

}  // namespace vireo::tui
