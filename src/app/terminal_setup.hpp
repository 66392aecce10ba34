#pragma once
// Setting the terminal up for the full-screen interface and giving it back afterwards.

#include <expected>
#include <memory>

#include "common/io_error.hpp"
#include "tui/terminal.hpp"

namespace vireo {

// Makes a crash restore the terminal before its report, then raw mode, the alternate screen and
// the drawing terminal on standard output. On failure the terminal is restored before returning.
std::expected<std::unique_ptr<tui::Terminal>, IoError> init_terminal();

// Raw mode off, alternate screen left; a failure is printed as "Failed to restore terminal: {}"
// on standard error and goes no further.
void restore_terminal();

}  // namespace vireo
