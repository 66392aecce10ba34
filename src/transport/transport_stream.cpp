#include "transport/transport_stream.hpp"

#include <algorithm>
#include <cstring>

#include "common/overloaded.hpp"

namespace vireo {

namespace {

std::size_t read_memory(TransportStream::Memory& m, std::span<std::uint8_t> buffer) {
    const std::size_t count = std::min({buffer.size(), m.max_read, m.input.size() - m.position});
    std::memcpy(buffer.data(), m.input.data() + m.position, count);
    m.position += count;
    return count;
}

std::size_t write_memory(TransportStream::Memory& m, std::span<const std::uint8_t> bytes) {
    m.written.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return bytes.size();
}

}  // namespace

std::expected<TransportStream, SerialError> open_serial(std::string_view port,
                                                        std::uint32_t baudrate,
                                                        std::uint64_t timeout_ms) {
    auto opened = platform::open_serial_port(port, baudrate, timeout_ms);
    if (!opened) {
        return std::unexpected(std::move(opened.error()));
    }
    return TransportStream(TransportStream::Serial{std::move(*opened)});
}

std::expected<TransportStream, IoError> connect_tcp(std::string_view address,
                                                    std::uint64_t timeout_ms) {
    auto connected = platform::connect_tcp_socket(address, timeout_ms);
    if (!connected) {
        return std::unexpected(std::move(connected.error()));
    }
    return TransportStream(TransportStream::Tcp{std::move(*connected)});
}

std::expected<std::size_t, IoError> read_stream(TransportStream& stream,
                                                std::span<std::uint8_t> buffer) {
    return std::visit(Overloaded{
                          [&](TransportStream::Serial& s) { return s.port.read(buffer); },
                          [&](TransportStream::Tcp& t) { return t.socket.read(buffer); },
                          [&](TransportStream::Memory& m) -> std::expected<std::size_t, IoError> {
                              return read_memory(m, buffer);
                          },
                      },
                      stream.value());
}

std::expected<bool, IoError> wait_readable(TransportStream& stream,
                                           std::chrono::milliseconds wait) {
    return std::visit(
        Overloaded{
            [&](TransportStream::Serial& s) { return s.port.wait_readable(wait); },
            [&](TransportStream::Tcp& t) { return t.socket.wait_readable(wait); },
            // Never waits: what is left is there now, and the end of the input
            // counts as ready so that the read which follows reports it.
            [](TransportStream::Memory&) -> std::expected<bool, IoError> { return true; },
        },
        stream.value());
}

std::expected<void, IoError> write_all_stream(TransportStream& stream,
                                              std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        auto written =
            std::visit(Overloaded{
                           [&](TransportStream::Serial& s) { return s.port.write(bytes); },
                           [&](TransportStream::Tcp& t) { return t.socket.write(bytes); },
                           [&](TransportStream::Memory& m) -> std::expected<std::size_t, IoError> {
                               return write_memory(m, bytes);
                           },
                       },
                       stream.value());
        if (!written) {
            if (written.error().kind() == IoErrorKind::Interrupted) {
                continue;
            }
            return std::unexpected(std::move(written.error()));
        }
        if (*written == 0) {
            return std::unexpected(
                IoError::with_message(IoErrorKind::WriteZero, "failed to write whole buffer"));
        }
        bytes = bytes.subspan(*written);
    }
    return {};
}

std::expected<void, IoError> flush_stream(TransportStream& stream) {
    return std::visit(
        Overloaded{
            [](TransportStream::Serial& s) { return s.port.flush(); },
            [](TransportStream::Tcp&) -> std::expected<void, IoError> { return {}; },
            [](TransportStream::Memory&) -> std::expected<void, IoError> { return {}; },
        },
        stream.value());
}

}  // namespace vireo
