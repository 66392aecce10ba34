#pragma once
// The shell command exchange: one command line out, the reply up to the "ch>" prompt back.

#include <chrono>
#include <expected>
#include <string>
#include <string_view>

#include "transport/transport_error.hpp"

namespace vireo {

class DeviceLink;

// Writes the command and then "\r"; refuses anything but one non-empty printable ASCII line
// before a byte is written.
std::expected<void, TransportError> write_command(DeviceLink& link, std::string_view command);

// The bytes up to, not including, the prompt; no byte beyond the prompt is taken.
std::expected<std::string, TransportError> read_until_prompt(DeviceLink& link);

// Writes the command, waits `first_delay`, reads the reply, waits `second_delay`; returns the
// reply as text (invalid UTF-8 replaced), without looking at it.
std::expected<std::string, TransportError> exchange(DeviceLink& link, std::string_view command,
                                                    std::chrono::milliseconds first_delay,
                                                    std::chrono::milliseconds second_delay);

// As `exchange`, and fails with CommandRejected when a reply line starts with "error:",
// "usage:" or "unknown command".
std::expected<std::string, TransportError> send_command(DeviceLink& link, std::string_view command,
                                                        std::chrono::milliseconds first_delay,
                                                        std::chrono::milliseconds second_delay);

// Drops what the instrument still sends after a reply that broke off: up to and including the
// next prompt, or until nothing has come for a short quiet time, and for at most `limit` in
// all. Reports nothing; a fault of the link shows in the next exchange.
void discard_pending(DeviceLink& link, std::chrono::milliseconds limit);

// Consumes a prompt the instrument showed before the run; a silent instrument is no failure.
std::expected<void, TransportError> drain_prompt(DeviceLink& link);

}  // namespace vireo
