#pragma once
// The controlling terminal as the program uses it: raw mode on standard input, the alternate
// screen on standard output, and waiting for and reading input bytes.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string_view>

#include "common/io_error.hpp"

namespace vireo::platform {

// Saves the input mode of standard input (the first time only) and switches it to raw mode (no
// echo, no line editing, no signals from keys, no input or output translation).
std::expected<void, IoError> enable_raw_mode();
// Puts back exactly the mode saved by enable_raw_mode. Without a saved mode it only checks that
// standard input is a terminal.
std::expected<void, IoError> disable_raw_mode();

// Writes every byte to the terminal `fd`, waiting while it cannot take more.
std::expected<void, IoError> write_to_terminal(int fd, std::string_view bytes);

// Writes ESC "[?1049h" / ESC "[?1049l" to standard output.
std::expected<void, IoError> enter_alternate_screen();
std::expected<void, IoError> leave_alternate_screen();

// Waits at most `timeout` for standard input to become readable; false when the time ran out.
std::expected<bool, IoError> wait_for_input(std::chrono::milliseconds timeout);
// Reads what standard input has ready, at most the span's size; 0 at end of input.
std::expected<std::size_t, IoError> read_input(std::span<std::uint8_t> buffer);

// For the crash path, safe in a signal handler: puts the saved input mode back (if one was
// saved) and writes the reset-style, leave-alternate-screen and show-cursor sequences. No
// allocation, no locks, errors ignored.
void restore_terminal_after_crash() noexcept;

// Makes hang-up, interrupt, quit and terminate signals give the terminal back (as the crash path
// does) before they end the process as they would have.
std::expected<void, IoError> restore_terminal_on_termination_signals();

// Makes a stop signal (SIGTSTP) give the terminal back while the program is stopped, and a
// continue put raw mode and the alternate screen back and ask for a full repaint.
std::expected<void, IoError> give_terminal_back_while_stopped();
// True once after the program was continued from a stop: the screen must be drawn whole again.
bool take_repaint_request() noexcept;

}  // namespace vireo::platform
