#pragma once
// The open byte stream to the instrument: a serial port or a TCP socket.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "common/io_error.hpp"
#include "common/serial_error.hpp"
#include "platform/serial_port.hpp"
#include "platform/tcp_socket.hpp"

namespace vireo {

class TransportStream {
  public:
    struct Serial {
        platform::SerialPort port;
    };
    struct Tcp {
        platform::TcpSocket socket;
    };
    // Bytes held in memory instead of a device, for tests and fuzzing: reads hand out `input`
    // in pieces of at most `max_read` bytes, then report end of stream; writes go to `written`.
    struct Memory {
        std::string input;
        std::size_t max_read = std::numeric_limits<std::size_t>::max();
        std::string written;
        std::size_t position = 0;
    };
    using Variant = std::variant<Serial, Tcp, Memory>;

    TransportStream(Serial v) : value_(std::move(v)) {}
    TransportStream(Tcp v) : value_(std::move(v)) {}
    TransportStream(Memory v) : value_(std::move(v)) {}

    Variant& value() { return value_; }
    const Variant& value() const { return value_; }

  private:
    Variant value_;
};

// The serial port `port` at `baudrate`, each read and write bounded by `timeout_ms`.
std::expected<TransportStream, SerialError> open_serial(std::string_view port,
                                                        std::uint32_t baudrate,
                                                        std::uint64_t timeout_ms);

// A TCP connection to the numeric `address`, made within `timeout_ms`, which then bounds each
// receive and send.
std::expected<TransportStream, IoError> connect_tcp(std::string_view address,
                                                    std::uint64_t timeout_ms);

// One read of at most the buffer's length; 0 means end of stream.
std::expected<std::size_t, IoError> read_stream(TransportStream& stream,
                                                std::span<std::uint8_t> buffer);

// True when a read would not wait (bytes or the end of the stream are there); waits at most
// `wait`.
std::expected<bool, IoError> wait_readable(TransportStream& stream, std::chrono::milliseconds wait);

// Writes every byte; an interrupted write is retried, a write of nothing is WriteZero.
std::expected<void, IoError> write_all_stream(TransportStream& stream,
                                              std::span<const std::uint8_t> bytes);

// Serial: waits until the written bytes have left for the device. TCP: nothing to do, since
// no-delay sends at once; nor in memory.
std::expected<void, IoError> flush_stream(TransportStream& stream);

}  // namespace vireo
