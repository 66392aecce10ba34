// The raw frame reader over an in-memory link: fuzzed request sizes, read sizes, reply limit
// and bytes from the "instrument". The outcome must not depend on how the bytes arrive, must
// match a plain model of the frame's framing, and a frame read must decode or fail cleanly.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <fmt/format.h>

#include "fuzz_check.hpp"
#include "protocol/raw_frame.hpp"

namespace {

using vireo::fuzz::check;

struct ReadResult {
    std::expected<std::vector<std::uint8_t>, vireo::TransportError> frame;
    std::string written;
    std::size_t consumed;  // bytes taken from the input, read ahead but not used excluded
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
};

ReadResult read_over_memory(const std::string& input, std::size_t max_read, std::uint64_t limit,
                            const vireo::ScanRequest& request) {
    vireo::DeviceLink link(
        vireo::TransportStream(vireo::TransportStream::Memory{input, max_read, {}, 0}), limit);
    ReadResult result{{}, {}, 0, {}};
    result.frame = vireo::read_raw_frame(
        link, request,
        [&](std::uint64_t got, std::uint64_t total) { result.progress.emplace_back(got, total); });
    auto& memory = std::get<vireo::TransportStream::Memory>(link.reader().stream().value());
    result.written = memory.written;
    result.consumed = memory.position - link.reader().buffered();
    return result;
}

std::string outcome(const ReadResult& result) {
    return result.frame ? std::string("ok") : debug(result.frame.error());
}

vireo::ScanRequest fuzzed_request(FuzzedDataProvider& input) {
    vireo::ScanRequest request{};
    // Mostly requests small enough to be answered in full, sometimes anything at all.
    if (input.ConsumeBool()) {
        request.start_hz = input.ConsumeIntegral<std::uint64_t>();
        request.stop_hz = input.ConsumeIntegral<std::uint64_t>();
        request.points = input.ConsumeIntegralInRange<std::uint64_t>(0, 1000002);
        request.repeat = input.ConsumeIntegral<std::uint64_t>();
    } else {
        request.start_hz = input.ConsumeIntegral<std::uint32_t>();
        request.stop_hz = request.start_hz + input.ConsumeIntegral<std::uint32_t>();
        request.points = input.ConsumeIntegralInRange<std::uint64_t>(0, 600);
        request.repeat = 1;
    }
    return request;
}

void check_decoding(const std::vector<std::uint8_t>& frame, const vireo::ScanRequest& request,
                    std::uint16_t zero_offset, vireo::FrequencyAxis axis) {
    const auto samples = vireo::decode_raw_scan(frame, request, zero_offset, axis);
    if (zero_offset > 2047) {
        check(!samples && std::holds_alternative<vireo::ProtocolError::InvalidRequest>(
                              samples.error().value()),
              "an offset out of range is refused");
        return;
    }
    if (!samples) {
        const auto* alignment =
            std::get_if<vireo::ProtocolError::Alignment>(&samples.error().value());
        check(alignment != nullptr && alignment->index < request.points &&
                  alignment->found != 'x' && frame[1 + 3 * alignment->index] == alignment->found,
              "a frame that was read fails only on a misaligned record");
        return;
    }
    check(samples->size() == request.points, "one sample per point");
    check(samples->front().frequency_mhz == static_cast<double>(request.start_hz) / 1000000.0,
          "the first point is the start frequency");
    for (std::size_t i = 0; i < samples->size(); ++i) {
        const auto raw = static_cast<unsigned>(frame[2 + 3 * i] | (frame[3 + 3 * i] << 8));
        check((*samples)[i].level_dbm == raw / 32.0 - zero_offset,
              "levels are raw / 32 less offset");
        if (i > 0) {
            check((*samples)[i].frequency_mhz >= (*samples)[i - 1].frequency_mhz,
                  "frequencies never fall");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const vireo::ScanRequest request = fuzzed_request(input);
    const auto max_read = input.ConsumeIntegralInRange<std::size_t>(1, 20000);
    const auto limit = input.ConsumeIntegralInRange<std::uint64_t>(1, 100000);
    const auto zero_offset = input.ConsumeIntegralInRange<std::uint16_t>(0, 2100);
    const auto axis =
        input.PickValueInArray({vireo::FrequencyAxis::Inclusive, vireo::FrequencyAxis::Firmware});
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const ReadResult result = read_over_memory(bytes, max_read, limit, request);
    const ReadResult whole =
        read_over_memory(bytes, std::numeric_limits<std::size_t>::max(), limit, request);
    check(outcome(result) == outcome(whole) && (!result.frame || *result.frame == *whole.frame),
          "the outcome does not depend on the read sizes");
    check(result.consumed == whole.consumed, "the bytes taken do not depend on the read sizes");

    const auto length = vireo::raw_frame_len(request);
    if (!length) {
        check(!result.frame && result.written.empty(),
              "an impossible request fails before anything is sent");
        return 0;
    }
    check(result.written ==
              fmt::format("scanraw {} {} {}\r", request.start_hz, request.stop_hz, request.points),
          "exactly the command line is sent");

    // The framing: skip to the first "{" within the limit, the frame, then up to the prompt.
    const std::string_view text = bytes;
    const std::size_t open = text.find('{');
    const bool starts = open != std::string_view::npos && open < limit;
    const bool whole_frame = starts && text.size() - open >= *length;
    const bool closes = whole_frame && text[open + *length - 1] == '}';
    const std::size_t prompt = closes ? text.find("ch>", open + *length) : std::string_view::npos;
    const bool prompted =
        prompt != std::string_view::npos && prompt + 3 - (open + *length) <= limit;
    check(result.frame.has_value() == prompted, "the reader agrees with the framing model");
    if (!result.frame) {
        return 0;
    }
    check(std::string_view(reinterpret_cast<const char*>(result.frame->data()),
                           result.frame->size()) == text.substr(open, *length),
          "the frame is the bytes from the first brace");
    check(result.consumed == prompt + 3, "nothing beyond the prompt is taken");
    check(!result.progress.empty() && result.progress.back().first == *length,
          "progress ends at the frame length");
    for (std::size_t i = 0; i < result.progress.size(); ++i) {
        check(result.progress[i].second == *length &&
                  (i == 0 || result.progress[i].first > result.progress[i - 1].first),
              "progress rises towards the frame length");
    }
    check_decoding(*result.frame, request, zero_offset, axis);
    return 0;
}
