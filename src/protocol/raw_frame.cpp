#include "protocol/raw_frame.hpp"

#include <algorithm>
#include <limits>

#include <fmt/format.h>

#include "transport/exchange.hpp"

namespace vireo {

namespace {

constexpr std::uint8_t OPEN_BRACE = '{';
constexpr std::uint8_t CLOSE_BRACE = '}';
constexpr std::uint8_t ALIGNMENT = 'x';
constexpr std::size_t CHUNK_BYTES = 4096;
constexpr std::uint16_t MAX_ZERO_OFFSET = 2047;

// A float to u64 conversion that saturates: 0 for negative and NaN, the maximum beyond range.
std::uint64_t saturating_u64(float value) {
    if (!(value > 0.0f)) {
        return 0;
    }
    // 2^64 is exact as a float.
    if (value >= 18446744073709551616.0f) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(value);
}

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t sum = a + b;
    return sum < a ? std::numeric_limits<std::uint64_t>::max() : sum;
}

}  // namespace

std::expected<std::uint64_t, ProtocolError> raw_frame_len(const ScanRequest& request) {
    if (auto valid = validate_request(request); !valid) {
        return std::unexpected(ProtocolError::InvalidRequest{std::move(valid.error())});
    }
    return 3 * request.points + 2;
}

std::expected<std::vector<std::uint8_t>, TransportError> read_raw_frame(
    DeviceLink& link, const ScanRequest& request, const RawFrameProgress& progress) {
    // The bounds come first so that an impossible request never reaches the instrument.
    const auto length = raw_frame_len(request);
    if (!length) {
        TransportError error = TransportError::Protocol{length.error()};
        return std::unexpected(std::move(error));
    }
    const std::string command =
        fmt::format("scanraw {} {} {}", request.start_hz, request.stop_hz, request.points);
    if (auto written = write_command(link, command); !written) {
        return std::unexpected(std::move(written.error()));
    }

    const std::uint64_t limit = link.max_response_bytes();
    std::uint64_t skipped = 0;
    for (;;) {
        std::uint8_t byte = 0;
        if (auto read = read_exact(link, std::span(&byte, 1)); !read) {
            return std::unexpected(TransportError::Io{std::move(read.error())});
        }
        if (byte == OPEN_BRACE) {
            break;
        }
        if (++skipped >= limit) {
            return std::unexpected(TransportError::ResponseTooLong{limit});
        }
    }

    std::vector<std::uint8_t> frame(*length);
    frame[0] = OPEN_BRACE;
    std::uint64_t received = 1;
    while (received < *length) {
        const std::size_t chunk = std::min<std::uint64_t>(*length - received, CHUNK_BYTES);
        if (auto read = read_exact(link, std::span(frame.data() + received, chunk)); !read) {
            return std::unexpected(TransportError::Io{std::move(read.error())});
        }
        received += chunk;
        if (progress) {
            progress(received, *length);
        }
    }
    if (frame.back() != CLOSE_BRACE) {
        return std::unexpected(TransportError::Protocol{ProtocolError::MissingEnd{}});
    }
    if (auto rest = read_until_prompt(link); !rest) {
        return std::unexpected(std::move(rest.error()));
    }
    return frame;
}

std::expected<std::vector<Sample>, ProtocolError> decode_raw_scan(
    std::span<const std::uint8_t> frame, const ScanRequest& request, std::uint16_t zero_offset,
    FrequencyAxis axis) {
    const auto length = raw_frame_len(request);
    if (!length) {
        return std::unexpected(length.error());
    }
    if (zero_offset > MAX_ZERO_OFFSET) {
        return std::unexpected(ProtocolError::InvalidRequest{"zero offset must be 0..=2047"});
    }
    if (frame.empty() || frame.front() != OPEN_BRACE) {
        return std::unexpected(ProtocolError::MissingStart{});
    }
    if (frame.size() != *length) {
        return std::unexpected(ProtocolError::Length{*length, frame.size()});
    }
    if (frame.back() != CLOSE_BRACE) {
        return std::unexpected(ProtocolError::MissingEnd{});
    }

    std::optional<ProtocolError> error;
    RawSampleDecoder decoder(frame.subspan(1, frame.size() - 2), request, zero_offset, axis, error);
    std::vector<Sample> samples;
    samples.reserve(request.points);
    while (auto sample = decoder.decode_sample()) {
        samples.push_back(*sample);
    }
    if (error) {
        return std::unexpected(std::move(*error));
    }
    return samples;
}

RawSampleDecoder::RawSampleDecoder(std::span<const std::uint8_t> records,
                                   const ScanRequest& request, std::uint16_t zero_offset,
                                   FrequencyAxis axis, std::optional<ProtocolError>& error)
    : next_(records.data()),
      end_(records.data() + records.size() / 3 * 3),
      axis_(axis),
      start_hz_(request.start_hz),
      zero_offset_(static_cast<double>(zero_offset)),
      error_(&error),
      firmware_step_(static_cast<float>(
          request.points == 0 ? 0 : (request.stop_hz - request.start_hz) / request.points)),
      span_hz_(static_cast<double>(request.stop_hz - request.start_hz)),
      last_index_(static_cast<double>(request.points - 1)) {}

double RawSampleDecoder::frequency_mhz(std::uint64_t index) const {
    if (axis_ == FrequencyAxis::Firmware) {
        // Single precision on purpose: the instrument spaces its points this way.
        const float offset = static_cast<float>(index) * firmware_step_;
        const std::uint64_t hz = saturating_add(start_hz_, saturating_u64(offset));
        return static_cast<double>(hz) / 1000000.0;
    }
    const double hz =
        span_hz_ * static_cast<double>(index) / last_index_ + static_cast<double>(start_hz_);
    return hz / 1000000.0;
}

std::optional<Sample> RawSampleDecoder::decode_sample() {
    if (next_ == end_) {
        return std::nullopt;
    }
    if (next_[0] != ALIGNMENT) {
        *error_ = ProtocolError::Alignment{index_, next_[0]};
        next_ = end_;
        return std::nullopt;
    }
    const auto raw = static_cast<std::uint16_t>(next_[1] | (next_[2] << 8));
    const Sample sample{frequency_mhz(index_), static_cast<double>(raw) * 0.03125 - zero_offset_};
    next_ += 3;
    ++index_;
    return sample;
}

}  // namespace vireo
