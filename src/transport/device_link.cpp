#include "transport/device_link.hpp"

#include <algorithm>
#include <cstring>

#include "config/validate.hpp"

namespace vireo {

BufferedReader::BufferedReader(TransportStream stream)
    : stream_(std::move(stream)), buffer_(std::make_unique<std::uint8_t[]>(CAPACITY)) {}

std::expected<void, IoError> BufferedReader::read_exact(std::span<std::uint8_t> out) {
    if (buffered() >= out.size()) {
        std::memcpy(out.data(), buffer_.get() + position_, out.size());
        position_ += out.size();
        return {};
    }
    while (!out.empty()) {
        std::size_t taken = 0;
        if (position_ == filled_ && out.size() >= CAPACITY) {
            // Large reads go straight into the caller's memory; copying them through the
            // buffer would gain nothing.
            auto count = read_stream(stream_, out);
            if (!count) {
                if (count.error().kind() == IoErrorKind::Interrupted) {
                    continue;
                }
                return std::unexpected(std::move(count.error()));
            }
            taken = *count;
        } else {
            if (position_ == filled_) {
                auto count = read_stream(stream_, std::span(buffer_.get(), CAPACITY));
                if (!count) {
                    if (count.error().kind() == IoErrorKind::Interrupted) {
                        continue;
                    }
                    return std::unexpected(std::move(count.error()));
                }
                position_ = 0;
                filled_ = *count;
            }
            taken = std::min(buffered(), out.size());
            std::memcpy(out.data(), buffer_.get() + position_, taken);
            position_ += taken;
        }
        if (taken == 0) {
            return std::unexpected(
                IoError::with_message(IoErrorKind::UnexpectedEof, "failed to fill whole buffer"));
        }
        out = out.subspan(taken);
    }
    return {};
}

DeviceLink::DeviceLink(TransportStream stream, std::uint64_t max_response_bytes)
    : max_response_bytes_(max_response_bytes), reader_(std::move(stream)) {}

std::expected<DeviceLink, ConnectionError> open_link(const Config& config) {
    if (auto valid = validate(config); !valid) {
        return std::unexpected(ConnectionError::Config{std::move(valid.error())});
    }
    const std::uint64_t limit = config.serial.max_response_bytes;
    if (config.connection.backend == ConnectionBackend::Tcp) {
        auto stream = connect_tcp(config.connection.tcp_address, config.connection.tcp_timeout_ms);
        if (!stream) {
            return std::unexpected(ConnectionError::Tcp{std::move(stream.error())});
        }
        return DeviceLink(std::move(*stream), limit);
    }
    auto stream = open_serial(config.port, config.baudrate, config.serial.timeout_ms);
    if (!stream) {
        return std::unexpected(ConnectionError::Serial{std::move(stream.error())});
    }
    return DeviceLink(std::move(*stream), limit);
}

std::expected<void, IoError> read_exact(DeviceLink& link, std::span<std::uint8_t> out) {
    return link.reader().read_exact(out);
}

}  // namespace vireo
