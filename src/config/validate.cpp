#include "config/validate.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "common/socket_address.hpp"
#include "common/text.hpp"

namespace vireo {

namespace {

bool within(std::uint64_t value, std::uint64_t low, std::uint64_t high) {
    return value >= low && value <= high;
}

bool is_prefix_byte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

bool has_duplicates(const std::vector<std::uint32_t>& values) {
    std::vector<std::uint32_t> sorted = values;
    std::ranges::sort(sorted);
    return std::ranges::adjacent_find(sorted) != sorted.end();
}

// The message of the first check the configuration fails, or none.
const char* first_failure(const Config& c) {
    const auto& serial = c.serial;
    const auto& scan = c.scan;

    if (serial.baudrates.empty() ||
        std::ranges::find(serial.baudrates, 0u) != serial.baudrates.end()) {
        return "serial.baudrates must contain nonzero values";
    }
    if (has_duplicates(serial.baudrates)) {
        return "serial.baudrates must not contain duplicates";
    }
    if (std::ranges::find(serial.baudrates, c.baudrate) == serial.baudrates.end()) {
        return "baudrate must be in serial.baudrates";
    }
    if (c.start_frequency > c.stop_frequency || !within(c.stop_frequency, 10, 960)) {
        return "frequencies must be ordered in 0–960 MHz, with stop at least 10 MHz";
    }
    if (scan.min_points < 2 || scan.min_points > scan.max_points || scan.max_points > 1000001) {
        return "scan point bounds must satisfy 2 <= min_points <= max_points <= 1000001";
    }
    if (!within(c.points, scan.min_points, scan.max_points)) {
        return "points must be within scan.min_points and scan.max_points";
    }
    if (!within(scan.max_repeat, 1, 1000) || !within(c.repeat, 1, scan.max_repeat)) {
        return "repeat must be within 1..=scan.max_repeat, which cannot exceed 1000";
    }
    if (!within(scan.frequency_step_mhz, 1, 960) || !within(scan.points_step, 1, scan.max_points)) {
        return "scan keyboard steps must be positive and within their bounds";
    }
    if (scan.zero_offset >= 2048) {
        return "scan.zero_offset must fit the 16-bit fixed-point encoding (0..=2047)";
    }
    if (!within(serial.timeout_ms, 1, 600000)) {
        return "serial.timeout_ms must be in 1..=600000";
    }
    if (!within(c.connection.tcp_timeout_ms, 1, 600000)) {
        return "connection.tcp_timeout_ms must be in 1..=600000";
    }
    const auto address = parse_socket_address(c.connection.tcp_address);
    if (!address || address->port == 0) {
        return "connection.tcp_address must be a numeric IP:port with a nonzero port";
    }
    if (serial.command_delay_ms > 60000 || serial.settle_delay_ms > 60000 ||
        serial.scan_delay_ms > 60000) {
        return "serial command delays cannot exceed 60000 ms";
    }
    if (!within(serial.max_response_bytes, 256, 16777216)) {
        return "serial.max_response_bytes must be in 256..=16777216";
    }
    if (!within(c.ui.poll_interval_ms, 1, 1000)) {
        return "ui.poll_interval_ms must be in 1..=1000";
    }
    if (!std::isfinite(c.ui.chart_min_dbm) || !std::isfinite(c.ui.chart_max_dbm) ||
        !(c.ui.chart_min_dbm < c.ui.chart_max_dbm)) {
        return "UI chart bounds must be finite and increasing";
    }
    const std::string_view prefix = c.output.filename_prefix;
    if (prefix.empty() || prefix.size() > 64 || !std::ranges::all_of(prefix, is_prefix_byte)) {
        return "output.filename_prefix must contain 1–64 ASCII letters, digits, underscores or "
               "hyphens";
    }
    if (c.output.directory.empty() || c.logging.directory.empty()) {
        return "output and logging directories must not be empty";
    }
    if (trim_unicode_whitespace(c.logging.filter).empty()) {
        return "logging.filter must not be empty";
    }
    return nullptr;
}

}  // namespace

std::expected<void, ConfigError> validate(const Config& config) {
    if (const char* message = first_failure(config)) {
        return std::unexpected(ConfigError::Validation{message});
    }
    return {};
}

}  // namespace vireo
