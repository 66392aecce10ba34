#pragma once
// The process-level pieces of the crash hooks: fatal-signal handlers, a write to standard error
// that is safe inside them, and an immediate exit.

#include <expected>
#include <string_view>

#include "common/io_error.hpp"

namespace vireo::platform {

// Called, in the failing thread and in signal context, with the signal's name ("SIGSEGV").
using FatalSignalHandler = void (*)(const char* signal_name);

// Routes SIGSEGV, SIGABRT, SIGBUS, SIGFPE and SIGILL to the handler, on an alternate stack for
// the calling thread so a stack overflow there is still reported.
std::expected<void, IoError> install_fatal_signal_handlers(FatalSignalHandler handler);

// Writes to standard error without allocating; usable in a signal handler. Failures are ignored.
void write_stderr(std::string_view text) noexcept;

// Sleeps until the process ends; usable in a signal handler.
[[noreturn]] void block_forever() noexcept;

// Sleeps for about a millisecond; usable in a signal handler.
void sleep_a_millisecond() noexcept;

// Ends the process at once with the status; no exit handlers or destructors run.
[[noreturn]] void exit_immediately(int status) noexcept;

}  // namespace vireo::platform
