#include "scan/scan_request.hpp"

#include <gtest/gtest.h>

namespace vireo {
namespace {

constexpr std::string_view BOUNDS = "points must be 2..=1000001 and repeat 1..=1000";
constexpr std::string_view ORDER = "start frequency must not exceed stop frequency";

TEST(ValidateRequest, BoundsAndOrder) {
    struct Case {
        ScanRequest request;
        std::string_view error;  // empty: passes
    };
    const Case cases[] = {
        {{240000000, 800000000, 10001, 1}, ""},
        {{0, 0, 2, 1}, ""},
        {{0, 960000000, 1000001, 1000}, ""},
        {{100, 100, 2, 1}, ""},
        {{0, 1, 1, 1}, BOUNDS},
        {{0, 1, 1000002, 1}, BOUNDS},
        {{0, 1, 2, 0}, BOUNDS},
        {{0, 1, 2, 1001}, BOUNDS},
        {{101, 100, 2, 1}, ORDER},
        {{UINT64_MAX, 0, 2, 1}, ORDER},
        // Points and repeat are tested before the frequencies.
        {{101, 100, 1, 1}, BOUNDS},
        {{101, 100, 2, 0}, BOUNDS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.request.start_hz << " " << c.request.stop_hz << " "
                                          << c.request.points << " " << c.request.repeat);
        const auto result = validate_request(c.request);
        if (c.error.empty()) {
            EXPECT_TRUE(result.has_value()) << result.error();
        } else {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), c.error);
        }
    }
}

}  // namespace
}  // namespace vireo
