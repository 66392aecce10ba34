#include "scan/scan_request.hpp"

namespace vireo {

std::expected<void, std::string> validate_request(const ScanRequest& request) {
    const bool points_ok = request.points >= 2 && request.points <= 1000001;
    if (!points_ok || request.repeat < 1 || request.repeat > 1000) {
        return std::unexpected("points must be 2..=1000001 and repeat 1..=1000");
    }
    if (request.start_hz > request.stop_hz) {
        return std::unexpected("start frequency must not exceed stop frequency");
    }
    return {};
}

}  // namespace vireo
