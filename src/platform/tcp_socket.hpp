#pragma once
// A connected TCP stream socket with receive and send time-outs and no-delay on.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string_view>

#include "common/io_error.hpp"

namespace vireo::platform {

class TcpSocket {
  public:
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;
    ~TcpSocket();

    // One receive; 0 means the peer closed. An expired time-out is TimedOut
    // "Operation timed out".
    std::expected<std::size_t, IoError> read(std::span<std::uint8_t> buffer);
    // True when a receive would not wait: bytes have come, or the peer closed. Waits at most
    // `wait` for that.
    std::expected<bool, IoError> wait_readable(std::chrono::milliseconds wait);
    // One send; a closed peer is an error value, never a signal.
    std::expected<std::size_t, IoError> write(std::span<const std::uint8_t> bytes);

  private:
    friend std::expected<TcpSocket, IoError> connect_tcp_socket(std::string_view, std::uint64_t);
    explicit TcpSocket(int fd) : fd_(fd) {}

    int fd_ = -1;
};

// Connects to a numeric address ("127.0.0.1:7355", "[::1]:7355") within `timeout_ms`, which
// then also bounds each receive and send.
std::expected<TcpSocket, IoError> connect_tcp_socket(std::string_view address,
                                                     std::uint64_t timeout_ms);

}  // namespace vireo::platform
