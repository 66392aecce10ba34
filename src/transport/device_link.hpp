#pragma once
// The open link to the instrument: its stream behind an 8192-byte read buffer, and the reply
// limit the exchange and the frame reader use.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>

#include "common/io_error.hpp"
#include "config/config.hpp"
#include "transport/connection_error.hpp"
#include "transport/transport_stream.hpp"

namespace vireo {

// Buffered reading over the stream; writes bypass it.
class BufferedReader {
  public:
    static constexpr std::size_t CAPACITY = 8192;

    explicit BufferedReader(TransportStream stream);

    TransportStream& stream() { return stream_; }
    // Bytes read from the stream and not yet consumed.
    std::size_t buffered() const { return filled_ - position_; }

    // Fills `out` completely, or fails; bytes delivered before a failure stay consumed.
    std::expected<void, IoError> read_exact(std::span<std::uint8_t> out);

  private:
    TransportStream stream_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
};

// Owned by one worker for one run; destroying it closes the stream, unread bytes are lost.
class DeviceLink {
  public:
    DeviceLink(TransportStream stream, std::uint64_t max_response_bytes);

    DeviceLink(DeviceLink&&) = default;
    DeviceLink& operator=(DeviceLink&&) = default;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // The reply limit, `serial.max_response_bytes` for both back ends.
    std::uint64_t max_response_bytes() const { return max_response_bytes_; }
    BufferedReader& reader() { return reader_; }
    const BufferedReader& reader() const { return reader_; }

  private:
    std::uint64_t max_response_bytes_;
    BufferedReader reader_;
};

// Validates the configuration, then opens the back end `connection.backend` names.
std::expected<DeviceLink, ConnectionError> open_link(const Config& config);

// Fills `out` through the link's read buffer; the only way the exchange and the frame reader
// read.
std::expected<void, IoError> read_exact(DeviceLink& link, std::span<std::uint8_t> out);

}  // namespace vireo
