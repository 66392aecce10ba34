#include "protocol/identification.hpp"

#include <gtest/gtest.h>

namespace vireo {
namespace {

// Replies as the exchange returns them from a real instrument: the blank left after the
// previous prompt, the echoed command line, then the reply lines.
constexpr std::string_view BASIC_VERSION = " version\r\ntinySA_v1.4-240-gf5d5bed\r\n";
constexpr std::string_view BASIC_INFO =
    " info\r\ntinySA v0.3ZS304\r\n2019-2024 Copyright @Erik Kaashoek\r\n"
    "Version: tinySA_v1.4-240-gf5d5bed\r\nBuild Time: Jan  1 2024 - 00:00:00\r\n"
    "Kernel: 4.0.0\r\nPlatform: STM32F072xB\r\n";
constexpr std::string_view ULTRA_VERSION =
    " version\r\ntinySA4_v1.4-240-gf5d5bed\r\nHW Version:V0.4.5.1 \r\n";
constexpr std::string_view ULTRA_INFO =
    " info\r\ntinySA ULTRA ZS405\r\n2019-2024 Copyright @Erik Kaashoek\r\n"
    "Version: tinySA4_v1.4-240-gf5d5bed\r\nPlatform: STM32F303xC\r\n";
constexpr std::string_view ULTRA_PLUS_INFO = " info\r\ntinySA ULTRA+ ZS406\r\n";
constexpr std::string_view NEUTRAL = "firmware 1.0\r\n";

// The detected model's debug form, or the error's.
std::string outcome(std::string_view version, std::string_view info, DeviceModel configured) {
    const auto result = classify_replies(version, info, configured);
    return result ? std::string(debug(*result)) : debug(result.error());
}

TEST(ClassifyReplies, RealInstruments) {
    EXPECT_EQ(outcome(BASIC_VERSION, BASIC_INFO, DeviceModel::Auto), "Basic");
    EXPECT_EQ(outcome(ULTRA_VERSION, ULTRA_INFO, DeviceModel::Auto), "Ultra");
    EXPECT_EQ(outcome(ULTRA_VERSION, ULTRA_PLUS_INFO, DeviceModel::Auto), "Ultra");
    EXPECT_EQ(outcome(BASIC_VERSION, BASIC_INFO, DeviceModel::Basic), "Basic");
    EXPECT_EQ(outcome(ULTRA_VERSION, ULTRA_INFO, DeviceModel::Ultra), "Ultra");
}

TEST(ClassifyReplies, Evidence) {
    struct Case {
        std::string_view version;
        std::string_view info;
        std::string_view expected;
    };
    const Case cases[] = {
        // Version tokens, in any letter case.
        {"TINYSA4_V2.0\r\n", NEUTRAL, "Ultra"},
        {"tinysa_v1.0\r\n", NEUTRAL, "Basic"},
        {"TinySA_V1.4-1\r\n", NEUTRAL, "Basic"},
        {"build: tinySA4_v1.4\r\n", NEUTRAL, "Ultra"},
        // A token must start with the marker; punctuation belongs to the token.
        {"(tinySA_v1.4)\r\n", NEUTRAL, "Device(Unknown)"},
        {"(tinySA4_v1.4)\r\n", NEUTRAL, "Device(Unknown)"},
        {"xtinySA_v1.4\r\n", NEUTRAL, "Device(Unknown)"},
        // Every Unicode White_Space character separates tokens: U+3000, U+00A0, U+0085, U+2028,
        // U+1680, U+2000, U+200A, U+202F, U+205F.
        {"build\xe3\x80\x80tinySA4_v1", NEUTRAL, "Ultra"},
        {"build\xc2\xa0tinySA_v1", NEUTRAL, "Basic"},
        {"build\xc2\x85tinySA_v1", NEUTRAL, "Basic"},
        {"build\xe2\x80\xa8tinySA_v1", NEUTRAL, "Basic"},
        {"build\xe1\x9a\x80tinySA_v1", NEUTRAL, "Basic"},
        {"build\xe2\x80\x80tinySA_v1", NEUTRAL, "Basic"},
        {"build\xe2\x80\x8atinySA_v1", NEUTRAL, "Basic"},
        {"build\xe2\x80\xaftinySA_v1", NEUTRAL, "Basic"},
        {"build\xe2\x81\x9ftinySA_v1", NEUTRAL, "Basic"},
        // U+200B zero width space is not White_Space, so the token starts with "build".
        {"build\xe2\x80\x8btinySA_v1", NEUTRAL, "Device(Unknown)"},
        // Only ASCII letters are lowered: a dotted capital I stays as it is.
        {"T\xc4\xb0NYSA_V1", NEUTRAL, "Device(Unknown)"},
        // "info" evidence.
        {NEUTRAL, "  tinySA  \r\n", "Basic"},
        {NEUTRAL, "\r\n tinySA\t\r\n\r\n", "Basic"},
        {NEUTRAL, "tinySA", "Basic"},
        {NEUTRAL, "TINYSA\r\n", "Basic"},
        {NEUTRAL, "tinySA v0.3ZS304\r\n", "Device(Unknown)"},
        {NEUTRAL, "model: tinySA Basic\r\n", "Basic"},
        {NEUTRAL, "tinySA Ultra\r\n", "Ultra"},
        {NEUTRAL, "my-tinysa ultraplus", "Ultra"},
        {NEUTRAL, "  tinySA \r\ntinySA Ultra\r\n", "Device(Conflicting)"},
        // Both kinds of evidence, from either reply.
        {"tinySA4_v1.4 tinySA_v1.4", NEUTRAL, "Device(Conflicting)"},
        {ULTRA_VERSION, "tinySA Basic\r\n", "Device(Conflicting)"},
        {BASIC_VERSION, ULTRA_INFO, "Device(Conflicting)"},
        // Rejection lines are classified like any other text.
        {"error: unknown\r\n", "usage: info\r\n", "Device(Unknown)"},
        // A blank reply is reported before any evidence.
        {"\r\n", ULTRA_INFO, "MissingIdentity"},
        {ULTRA_VERSION, "\r\n", "MissingIdentity"},
        {"", BASIC_INFO, "MissingIdentity"},
        {" \xe3\x80\x80\xc2\xa0\t", BASIC_INFO, "MissingIdentity"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.version << " / " << c.info);
        EXPECT_EQ(outcome(c.version, c.info, DeviceModel::Auto), c.expected);
    }
}

TEST(ClassifyReplies, ConfiguredModel) {
    struct Case {
        std::string_view version;
        std::string_view info;
        DeviceModel configured;
        std::string_view expected;
    };
    const Case cases[] = {
        {BASIC_VERSION, BASIC_INFO, DeviceModel::Ultra,
         "UnexpectedModel { expected: Ultra, actual: Basic }"},
        {ULTRA_VERSION, ULTRA_INFO, DeviceModel::Basic,
         "UnexpectedModel { expected: Basic, actual: Ultra }"},
        // A conflict or no evidence wins over the comparison.
        {ULTRA_VERSION, "tinySA Basic", DeviceModel::Ultra, "Device(Conflicting)"},
        {NEUTRAL, NEUTRAL, DeviceModel::Basic, "Device(Unknown)"},
        {"", NEUTRAL, DeviceModel::Ultra, "MissingIdentity"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(outcome(c.version, c.info, c.configured), c.expected);
    }
}

TEST(HelpLists, WholeWordsIgnoringAsciiCase) {
    struct Case {
        std::string_view help;
        std::string_view word;
        bool listed;
    };
    const Case cases[] = {
        {"commands: version reset scan scanraw zero", "scan", true},
        {"commands: version reset scanraw zero", "scan", false},
        {"commands: SWEEP", "sweep", true},
        {"sweep,pause|resume", "pause", true},
        {"sweep,pause|resume", "resume", true},
        {"sweep|", "sweep", true},
        {"sweeps sweep_mode", "sweep", false},
        {"zero2 zero_", "zero", false},
        {"usart_cfg", "usart_cfg", true},
        {"usart_cfg", "usart", false},
        {"USART_CFG", "usart_cfg", true},
        // Every non-ASCII byte splits.
        {"\xc3\xa9sweep\xc3\xa9", "sweep", true},
        {"\xe3\x80\x80marker", "marker", true},
        {"", "sweep", false},
        {"repeat", "repeat", true},
        {"\r\nrepeat\r\n", "repeat", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.help << " / " << c.word);
        EXPECT_EQ(help_lists(c.help, c.word), c.listed);
    }
}

constexpr std::string_view BASIC_HELP =
    " help\r\ncommands: version reset freq dac saveconfig clearconfig data frequencies scan "
    "scanraw zero sweep test touchcal touchtest pause resume caloutput save recall trace "
    "trigger marker line usart usart_cfg capture vbat vbat_offset info color if attenuate "
    "level sweeptime leveloffset levelchange modulation rbw mode spur load ext_gain output "
    "deviceid selftest correction calc menu text remark repeat threads\r\n";
constexpr std::string_view ULTRA_HELP =
    " help\r\ncommands: freq time dac nf saveconfig clearconfig zero sweep pause resume wait "
    "repeat status caloutput save recall trace trigger marker line usart_cfg vbat_offset color "
    "if if1 lna2 agc actual_freq freq_corr attenuate level sweeptime leveloffset levelchange "
    "modulation rbw mode spur lna direct ultra load ext_gain output deviceid selftest "
    "correction calc menu text remark\r\nOther commands: version reset data frequencies scan "
    "hop scanraw test touchcal touchtest usart capture refresh touch release vbat help info "
    "threads\r\n";

TEST(MissingRequiredCommand, FirstMissingWordInOrder) {
    struct Case {
        std::string_view help;
        bool legacy_pre_scan;
        std::optional<std::string_view> missing;
    };
    const Case cases[] = {
        {BASIC_HELP, true, std::nullopt},
        {ULTRA_HELP, true, std::nullopt},
        {"repeat zero pause mode sweep scanraw resume", false, std::nullopt},
        // "scanraw" never counts as "scan"; "scan" is tested after the seven.
        {"repeat zero pause mode sweep scanraw resume", true, "scan"},
        {"zero pause mode sweep resume", true, "repeat"},
        {"repeat zero pause mode sweep resume scan", true, "scanraw"},
        {"repeat zero pause mode sweeps scanraw resume scan", true, "sweep"},
        {"REPEAT, Zero, pause|mode|sweep|scanraw|resume", false, std::nullopt},
        {"", false, "repeat"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.help);
        EXPECT_EQ(missing_required_command(c.help, c.legacy_pre_scan), c.missing);
    }
}

TEST(IdentificationText, CopiesTheRepliesAsReceived) {
    const DeviceIdentity identity{std::string(ULTRA_VERSION), std::string(ULTRA_PLUS_INFO),
                                  InstrumentModel::Ultra};
    EXPECT_EQ(identification_text(identity, 174),
              "Detected tinySA Ultra family (native raw offset 174 dB)\n"
              " version\r\ntinySA4_v1.4-240-gf5d5bed\r\nHW Version:V0.4.5.1 \r\n"
              " info\r\ntinySA ULTRA+ ZS406\r\n");
}

}  // namespace
}  // namespace vireo
