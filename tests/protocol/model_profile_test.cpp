#include "protocol/model_profile.hpp"

#include <gtest/gtest.h>

namespace vireo {
namespace {

constexpr std::uint64_t MHZ = 1000000;
constexpr std::string_view ULTRA_LIMIT =
    "tinySA Ultra first-tier support is limited to the common 0.1\xe2\x80\x93"
    "800 MHz normal range; extended and harmonic modes are not enabled";
constexpr std::string_view BASIC_LIMIT =
    "tinySA Basic frequencies must be within 0\xe2\x80\x93"
    "960 MHz";
constexpr std::string_view BASIC_CROSSING =
    "a Basic span crossing 350 MHz must start at or above 240 MHz";
constexpr std::string_view LOW = "mode low input";
constexpr std::string_view HIGH = "mode high input";

TEST(ModelProfile, LimitsAndBoundaries) {
    struct Case {
        InstrumentModel model;
        std::uint64_t start_hz;
        std::uint64_t stop_hz;
        std::string_view outcome;  // the input mode, or the limit text
    };
    using enum InstrumentModel;
    const Case cases[] = {
        {Ultra, 0, 800 * MHZ, ULTRA_LIMIT},
        {Ultra, 99999, 800 * MHZ, ULTRA_LIMIT},
        {Ultra, 100000, 800 * MHZ, LOW},
        {Ultra, 1 * MHZ, 800 * MHZ, LOW},
        {Ultra, 100000, 100000, LOW},
        {Ultra, 1 * MHZ, 800 * MHZ + 1, ULTRA_LIMIT},
        {Ultra, 1 * MHZ, 801 * MHZ, ULTRA_LIMIT},
        {Basic, 0, 0, LOW},
        {Basic, 0, 349 * MHZ, LOW},
        {Basic, 0, 350 * MHZ - 1, LOW},
        {Basic, 300 * MHZ, 349 * MHZ, LOW},
        {Basic, 0, 350 * MHZ, BASIC_CROSSING},
        {Basic, 240 * MHZ - 1, 350 * MHZ, BASIC_CROSSING},
        {Basic, 240 * MHZ, 350 * MHZ, HIGH},
        {Basic, 240 * MHZ, 800 * MHZ, HIGH},
        {Basic, 240 * MHZ, 960 * MHZ, HIGH},
        {Basic, 960 * MHZ, 960 * MHZ, HIGH},
        {Basic, 240 * MHZ, 960 * MHZ + 1, BASIC_LIMIT},
        {Basic, 240 * MHZ, 961 * MHZ, BASIC_LIMIT},
        // The upper limit is tested first, even when the start is also wrong.
        {Basic, 0, 961 * MHZ, BASIC_LIMIT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << debug(c.model) << " " << c.start_hz << ".." << c.stop_hz);
        const auto profile = model_profile(c.model, ScanRequest{c.start_hz, c.stop_hz, 101, 1});
        if (profile) {
            EXPECT_EQ(profile->input_mode, c.outcome);
            EXPECT_EQ(profile->native_zero_offset, c.model == Ultra ? 174 : 128);
        } else {
            EXPECT_EQ(debug(profile.error()), "InvalidRequest(" + quoted_command(c.outcome) + ")");
        }
    }
}

TEST(ModelProfile, RequestBoundsComeFirst) {
    const auto points = model_profile(InstrumentModel::Ultra, ScanRequest{0, 900 * MHZ, 1, 1});
    ASSERT_FALSE(points);
    EXPECT_EQ(display(points.error()),
              "invalid scan request: points must be 2..=1000001 and repeat 1..=1000");
    const auto order =
        model_profile(InstrumentModel::Basic, ScanRequest{500 * MHZ, 400 * MHZ, 101, 1});
    ASSERT_FALSE(order);
    EXPECT_EQ(display(order.error()),
              "invalid scan request: start frequency must not exceed stop frequency");
    // A limit failure reads with the request prefix once wrapped for the user.
    const auto limit = model_profile(InstrumentModel::Basic, ScanRequest{0, 961 * MHZ, 101, 1});
    ASSERT_FALSE(limit);
    EXPECT_EQ(display(AcquisitionError(AcquisitionError::Protocol{limit.error()})),
              "invalid scan request: " + std::string(BASIC_LIMIT));
}

TEST(ModelProfile, ZeroOffsetInEffect) {
    const ModelProfile ultra{LOW, 174};
    const ModelProfile basic{LOW, 128};
    ScanConfig scan{};
    scan.zero_offset = 2047;
    scan.auto_zero_offset = true;
    EXPECT_EQ(zero_offset_in_effect(scan, ultra), 174);
    EXPECT_EQ(zero_offset_in_effect(scan, basic), 128);
    scan.auto_zero_offset = false;
    EXPECT_EQ(zero_offset_in_effect(scan, ultra), 2047);
    EXPECT_EQ(zero_offset_in_effect(scan, basic), 2047);
}

TEST(ReadbackTrim, KeepsOnlyAsciiAlphanumericsAndMinus) {
    for (const char32_t kept : {U'a', U'z', U'A', U'Z', U'0', U'9', U'-'}) {
        EXPECT_FALSE(is_readback_trim_char(kept)) << static_cast<std::uint32_t>(kept);
    }
    for (const char32_t trimmed :
         {U'+', U'.', U':', U'=', U'[', U']', U'_', U' ', U'\u00e9', U'\u2212', U'\uFFFD'}) {
        EXPECT_TRUE(is_readback_trim_char(trimmed)) << static_cast<std::uint32_t>(trimmed);
    }
}

TEST(ConfirmZero, ReadbackTokens) {
    struct Case {
        std::string_view reply;
        std::uint16_t requested;
        std::string_view outcome;  // "ok" or the error's debug form
    };
    const Case cases[] = {
        // The instrument's own replies, echo and usage line included.
        {" zero\r\nusage: zero {level}\r\n128dBm\r\n", 128, "ok"},
        {" zero\r\nusage: zero {level}\r\n174dBm\r\n", 174, "ok"},
        {" zero\r\nusage: zero {level}\r\n174dBm\r\n", 128,
         "ZeroReadbackMismatch { requested: 128, actual: 174 }"},
        {"zero: 128dBm.", 128, "ok"},
        {"128DBM", 128, "ok"},
        {"+128dBm", 128, "ok"},
        {"[00128dBm]", 128, "ok"},
        {"\xc2\xab"
         "128dBm\xc2\xbb",
         128, "ok"},
        {"offset\xc2\xa0"
         "128dBm",
         128, "ok"},
        {"65535dBm", 65535, "ok"},
        {"0dBm", 128, "ZeroReadbackMismatch { requested: 128, actual: 0 }"},
        // The first parsable reading counts, later ones are not looked at.
        {"50dBm 128dBm", 128, "ZeroReadbackMismatch { requested: 128, actual: 50 }"},
        {"-5dBm 128dBm", 128, "ok"},
        // No reading at all.
        {"128 dBm", 128, "MissingZeroReadback { requested: 128 }"},
        {"-128dBm", 128, "MissingZeroReadback { requested: 128 }"},
        {"65536dBm", 128, "MissingZeroReadback { requested: 128 }"},
        {"99999999999999999999dBm", 128, "MissingZeroReadback { requested: 128 }"},
        {"dBm", 128, "MissingZeroReadback { requested: 128 }"},
        {"1.5dBm", 128, "MissingZeroReadback { requested: 128 }"},
        {"128dBm5", 128, "MissingZeroReadback { requested: 128 }"},
        {"x128dBm", 128, "MissingZeroReadback { requested: 128 }"},
        {"", 174, "MissingZeroReadback { requested: 174 }"},
        {"error: rejected\r\n", 174, "MissingZeroReadback { requested: 174 }"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        const auto result = confirm_zero(c.reply, c.requested);
        EXPECT_EQ(result ? std::string("ok") : debug(result.error()), c.outcome);
    }
}

}  // namespace
}  // namespace vireo
