#pragma once
// What the program asks of its own process: its identifier and its environment.

#include <cstdint>
#include <optional>
#include <string>

namespace vireo::platform {

// The current process's identifier.
std::uint32_t process_id();
// An environment variable's value as the operating system holds it, or none when unset.
std::optional<std::string> environment_variable(const char* name);
// Makes a write past the file-size limit fail with an error instead of ending the process.
void ignore_file_size_limit_signal();
// Makes a write to a pipe or socket whose reader has gone fail with an error instead of ending
// the process.
void ignore_broken_pipe_signal();

}  // namespace vireo::platform
