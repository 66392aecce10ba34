#pragma once
// The one sweep a run performs, in the instrument's units.

#include <cstdint>
#include <expected>
#include <string>

namespace vireo {

struct ScanRequest {
    std::uint64_t start_hz;
    std::uint64_t stop_hz;
    std::uint64_t points;
    std::uint64_t repeat;

    friend bool operator==(const ScanRequest&, const ScanRequest&) = default;
};

// Success, or the bound message: points 2..=1000001 and repeat 1..=1000 first, then the order
// of start and stop.
std::expected<void, std::string> validate_request(const ScanRequest& request);

}  // namespace vireo
