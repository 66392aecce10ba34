#pragma once
// The raw scan frame of "scanraw": reading it from the link, checking it and decoding it into
// samples.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "config/config.hpp"
#include "protocol/protocol_error.hpp"
#include "scan/sample.hpp"
#include "scan/scan_request.hpp"
#include "transport/device_link.hpp"
#include "transport/transport_error.hpp"

namespace vireo {

// Called after each chunk of the frame with (bytes received so far, frame length).
using RawFrameProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

// 3 bytes per point and the two braces, or InvalidRequest for a request out of bounds.
std::expected<std::uint64_t, ProtocolError> raw_frame_len(const ScanRequest& request);

// Sends "scanraw", skips what comes before "{", reads the frame and the prompt after it.
// Returns exactly raw_frame_len bytes, braces included.
std::expected<std::vector<std::uint8_t>, TransportError> read_raw_frame(
    DeviceLink& link, const ScanRequest& request, const RawFrameProgress& progress);

// Checks the frame and turns it into one sample per point, levels offset by `zero_offset`.
std::expected<std::vector<Sample>, ProtocolError> decode_raw_scan(
    std::span<const std::uint8_t> frame, const ScanRequest& request, std::uint16_t zero_offset,
    FrequencyAxis axis);

// Walks the 3-byte records between the braces once, yielding one sample per record.
class RawSampleDecoder {
  public:
    // `records` holds whole records only; a bad record is reported through `error`.
    RawSampleDecoder(std::span<const std::uint8_t> records, const ScanRequest& request,
                     std::uint16_t zero_offset, FrequencyAxis axis,
                     std::optional<ProtocolError>& error);

    // The next sample; none at the end, or at a record whose alignment byte is not 'x' (then
    // the error slot holds Alignment and the walk is over).
    std::optional<Sample> decode_sample();

  private:
    double frequency_mhz(std::uint64_t index) const;

    const std::uint8_t* next_;
    const std::uint8_t* end_;
    std::uint64_t index_ = 0;
    FrequencyAxis axis_;
    std::uint64_t start_hz_;
    double zero_offset_;
    std::optional<ProtocolError>* error_;
    // Per-frame constants of the two axes, converted once.
    float firmware_step_;
    double span_hz_;
    double last_index_;
};

}  // namespace vireo
