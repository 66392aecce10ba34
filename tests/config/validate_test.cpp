#include "config/validate.hpp"

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "config_fixtures.hpp"

namespace vireo {
namespace {

constexpr const char* BAUDRATES = "serial.baudrates must contain nonzero values";
constexpr const char* DUPLICATES = "serial.baudrates must not contain duplicates";
constexpr const char* BAUDRATE = "baudrate must be in serial.baudrates";
constexpr const char* FREQUENCIES =
    "frequencies must be ordered in 0–960 MHz, with stop at least 10 MHz";
constexpr const char* POINT_BOUNDS =
    "scan point bounds must satisfy 2 <= min_points <= max_points <= 1000001";
constexpr const char* POINTS = "points must be within scan.min_points and scan.max_points";
constexpr const char* REPEAT =
    "repeat must be within 1..=scan.max_repeat, which cannot exceed 1000";
constexpr const char* STEPS = "scan keyboard steps must be positive and within their bounds";
constexpr const char* ZERO_OFFSET =
    "scan.zero_offset must fit the 16-bit fixed-point encoding (0..=2047)";
constexpr const char* SERIAL_TIMEOUT = "serial.timeout_ms must be in 1..=600000";
constexpr const char* TCP_TIMEOUT = "connection.tcp_timeout_ms must be in 1..=600000";
constexpr const char* TCP_ADDRESS =
    "connection.tcp_address must be a numeric IP:port with a nonzero port";
constexpr const char* DELAYS = "serial command delays cannot exceed 60000 ms";
constexpr const char* RESPONSE = "serial.max_response_bytes must be in 256..=16777216";
constexpr const char* POLL = "ui.poll_interval_ms must be in 1..=1000";
constexpr const char* CHART = "UI chart bounds must be finite and increasing";
constexpr const char* PREFIX =
    "output.filename_prefix must contain 1–64 ASCII letters, digits, underscores or hyphens";
constexpr const char* DIRECTORIES = "output and logging directories must not be empty";
constexpr const char* FILTER = "logging.filter must not be empty";

struct Case {
    const char* what;
    std::function<void(Config&)> change;
    const char* message;  // nullptr: passes
};

TEST(Validate, ChecksInOrder) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"defaults", [](Config&) {}, nullptr},
        {"empty baud-rate list", [](Config& c) { c.serial.baudrates.clear(); }, BAUDRATES},
        {"zero baud rate", [](Config& c) { c.serial.baudrates.push_back(0); }, BAUDRATES},
        {"duplicates apart",
         [](Config& c) {
             c.serial.baudrates = {115200, 9600, 115200};
         },
         DUPLICATES},
        {"unsorted list is fine",
         [](Config& c) {
             c.serial.baudrates = {115200, 9600};
         },
         nullptr},
        {"baud rate not listed", [](Config& c) { c.baudrate = 9600; }, BAUDRATE},
        {"start 0, stop 10",
         [](Config& c) {
             c.start_frequency = 0;
             c.stop_frequency = 10;
         },
         nullptr},
        {"start equals stop", [](Config& c) { c.start_frequency = c.stop_frequency = 500; },
         nullptr},
        {"stop 9",
         [](Config& c) {
             c.start_frequency = 0;
             c.stop_frequency = 9;
         },
         FREQUENCIES},
        {"stop 961", [](Config& c) { c.stop_frequency = 961; }, FREQUENCIES},
        {"start above stop",
         [](Config& c) {
             c.start_frequency = 500;
             c.stop_frequency = 400;
         },
         FREQUENCIES},
        {"min points 1", [](Config& c) { c.scan.min_points = 1; }, POINT_BOUNDS},
        {"min above max",
         [](Config& c) {
             c.scan.min_points = 500;
             c.scan.max_points = 400;
         },
         POINT_BOUNDS},
        {"max points 1000002", [](Config& c) { c.scan.max_points = 1000002; }, POINT_BOUNDS},
        {"points at max",
         [](Config& c) {
             c.scan.max_points = 1000001;
             c.points = 1000001;
         },
         nullptr},
        {"points below min", [](Config& c) { c.points = 100; }, POINTS},
        {"points above max", [](Config& c) { c.points = 1000002; }, POINTS},
        {"max repeat 1001", [](Config& c) { c.scan.max_repeat = 1001; }, REPEAT},
        {"max repeat 0",
         [](Config& c) {
             c.scan.max_repeat = 0;
             c.repeat = 0;
         },
         REPEAT},
        {"repeat 0", [](Config& c) { c.repeat = 0; }, REPEAT},
        {"repeat above max",
         [](Config& c) {
             c.scan.max_repeat = 5;
             c.repeat = 6;
         },
         REPEAT},
        {"frequency step 0", [](Config& c) { c.scan.frequency_step_mhz = 0; }, STEPS},
        {"frequency step 961", [](Config& c) { c.scan.frequency_step_mhz = 961; }, STEPS},
        {"points step at max", [](Config& c) { c.scan.points_step = c.scan.max_points; }, nullptr},
        {"points step above max", [](Config& c) { c.scan.points_step = c.scan.max_points + 1; },
         STEPS},
        {"points step 0", [](Config& c) { c.scan.points_step = 0; }, STEPS},
        {"zero offset 2047", [](Config& c) { c.scan.zero_offset = 2047; }, nullptr},
        {"zero offset 2048", [](Config& c) { c.scan.zero_offset = 2048; }, ZERO_OFFSET},
        {"serial timeout 0", [](Config& c) { c.serial.timeout_ms = 0; }, SERIAL_TIMEOUT},
        {"serial timeout 600001", [](Config& c) { c.serial.timeout_ms = 600001; }, SERIAL_TIMEOUT},
        {"serial timeout 600000", [](Config& c) { c.serial.timeout_ms = 600000; }, nullptr},
        {"tcp timeout 0", [](Config& c) { c.connection.tcp_timeout_ms = 0; }, TCP_TIMEOUT},
        {"port 0", [](Config& c) { c.connection.tcp_address = "127.0.0.1:0"; }, TCP_ADDRESS},
        {"no port", [](Config& c) { c.connection.tcp_address = "127.0.0.1"; }, TCP_ADDRESS},
        {"host name", [](Config& c) { c.connection.tcp_address = "localhost:7355"; }, TCP_ADDRESS},
        {"port above 65535", [](Config& c) { c.connection.tcp_address = "127.0.0.1:65536"; },
         TCP_ADDRESS},
        {"IPv6 loopback", [](Config& c) { c.connection.tcp_address = "[::1]:7355"; }, nullptr},
        {"IPv6 with zone", [](Config& c) { c.connection.tcp_address = "[fe80::1%2]:7355"; },
         nullptr},
        {"bad address with tcp back end",
         [](Config& c) {
             c.connection.backend = ConnectionBackend::Tcp;
             c.connection.tcp_address = "";
         },
         TCP_ADDRESS},
        {"delays of 60000",
         [](Config& c) {
             c.serial.command_delay_ms = c.serial.settle_delay_ms = c.serial.scan_delay_ms = 60000;
         },
         nullptr},
        {"delays of 0",
         [](Config& c) {
             c.serial.command_delay_ms = c.serial.settle_delay_ms = c.serial.scan_delay_ms = 0;
         },
         nullptr},
        {"command delay 60001", [](Config& c) { c.serial.command_delay_ms = 60001; }, DELAYS},
        {"settle delay 60001", [](Config& c) { c.serial.settle_delay_ms = 60001; }, DELAYS},
        {"scan delay 60001", [](Config& c) { c.serial.scan_delay_ms = 60001; }, DELAYS},
        {"response 255", [](Config& c) { c.serial.max_response_bytes = 255; }, RESPONSE},
        {"response 256", [](Config& c) { c.serial.max_response_bytes = 256; }, nullptr},
        {"response 16777216", [](Config& c) { c.serial.max_response_bytes = 16777216; }, nullptr},
        {"response 16777217", [](Config& c) { c.serial.max_response_bytes = 16777217; }, RESPONSE},
        {"poll 0", [](Config& c) { c.ui.poll_interval_ms = 0; }, POLL},
        {"poll 1001", [](Config& c) { c.ui.poll_interval_ms = 1001; }, POLL},
        {"equal chart bounds", [](Config& c) { c.ui.chart_min_dbm = c.ui.chart_max_dbm = 0.0; },
         CHART},
        {"decreasing chart bounds", [](Config& c) { c.ui.chart_min_dbm = 1.0; }, CHART},
        {"nan lower bound", [nan](Config& c) { c.ui.chart_min_dbm = nan; }, CHART},
        {"nan upper bound", [nan](Config& c) { c.ui.chart_max_dbm = nan; }, CHART},
        {"inf upper bound", [inf](Config& c) { c.ui.chart_max_dbm = inf; }, CHART},
        {"-inf lower bound", [inf](Config& c) { c.ui.chart_min_dbm = -inf; }, CHART},
        {"64-letter prefix", [](Config& c) { c.output.filename_prefix = std::string(64, 'a'); },
         nullptr},
        {"65-letter prefix", [](Config& c) { c.output.filename_prefix = std::string(65, 'a'); },
         PREFIX},
        {"empty prefix", [](Config& c) { c.output.filename_prefix = ""; }, PREFIX},
        {"prefix with a dot", [](Config& c) { c.output.filename_prefix = "scan.1"; }, PREFIX},
        {"prefix with a blank", [](Config& c) { c.output.filename_prefix = "scan 1"; }, PREFIX},
        {"prefix with a non-ASCII letter", [](Config& c) { c.output.filename_prefix = "scän"; },
         PREFIX},
        {"prefix of every allowed class", [](Config& c) { c.output.filename_prefix = "AZaz09_-"; },
         nullptr},
        {"empty output directory", [](Config& c) { c.output.directory = ""; }, DIRECTORIES},
        {"empty logging directory", [](Config& c) { c.logging.directory = ""; }, DIRECTORIES},
        {"blank directory", [](Config& c) { c.output.directory = " "; }, nullptr},
        {"empty filter", [](Config& c) { c.logging.filter = ""; }, FILTER},
        {"blanks and tabs", [](Config& c) { c.logging.filter = " \t \t"; }, FILTER},
        {"Unicode spaces", [](Config& c) { c.logging.filter = "\u3000\u00a0\u2009\n"; }, FILTER},
        {"filter with spaces around", [](Config& c) { c.logging.filter = " info\u3000"; }, nullptr},
        {"checks 3 and 19 broken",
         [](Config& c) {
             c.baudrate = 1;
             c.logging.filter = "";
         },
         BAUDRATE},
        {"checks 1 and 3 broken",
         [](Config& c) {
             c.serial.baudrates.clear();
             c.baudrate = 1;
         },
         BAUDRATES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Config config = fixtures::expected_defaults();
        c.change(config);
        const auto result = validate(config);
        if (c.message == nullptr) {
            EXPECT_TRUE(result) << display(result.error());
        } else {
            ASSERT_FALSE(result);
            const auto* validation = std::get_if<ConfigError::Validation>(&result.error().value());
            ASSERT_NE(validation, nullptr);
            EXPECT_EQ(validation->message, c.message);
        }
    }
}

}  // namespace
}  // namespace vireo
