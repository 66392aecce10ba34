#pragma once
// The operating system's serial port, opened exclusively in raw 8N1 mode, with reads and
// writes bounded by a time-out.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string_view>

#include "common/io_error.hpp"
#include "common/serial_error.hpp"

namespace vireo::platform {

class SerialPort {
  public:
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    // Waits at most the time-out for the first byte and returns what is there then; 0 means
    // the device hung up. Nothing within the time-out is TimedOut "Operation timed out".
    std::expected<std::size_t, IoError> read(std::span<std::uint8_t> buffer);
    // Writes as much as fits within the time-out; the count may be short, even 0.
    std::expected<std::size_t, IoError> write(std::span<const std::uint8_t> bytes);
    // True when a read would not wait: bytes have come, or the device hung up. Waits at most
    // `wait` for that.
    std::expected<bool, IoError> wait_readable(std::chrono::milliseconds wait);
    // Waits until everything written has left for the device; what has not left within the
    // time-out is TimedOut "Operation timed out".
    std::expected<void, IoError> flush();

  private:
    friend std::expected<SerialPort, SerialError> open_serial_port(std::string_view, std::uint32_t,
                                                                   std::uint64_t);
    SerialPort(int fd, int timeout_ms, bool release_exclusive)
        : fd_(fd), timeout_ms_(timeout_ms), release_exclusive_(release_exclusive) {}
    void close_port();

    int fd_ = -1;
    int timeout_ms_ = 0;
    // The exclusive hold was ours to take, so it is ours to give back on closing.
    bool release_exclusive_ = false;
};

// Opens the device at `path` for this process alone, raw 8N1 at `baudrate` (any rate the
// driver takes, standard or not), no flow control, DTR and RTS low; `timeout_ms` bounds each
// read and write.
std::expected<SerialPort, SerialError> open_serial_port(std::string_view path,
                                                        std::uint32_t baudrate,
                                                        std::uint64_t timeout_ms);

}  // namespace vireo::platform
