#include "common/text.hpp"

#include <gtest/gtest.h>

namespace vireo {
namespace {

TEST(Quoted, EscapesQuotesBackslashesAndControls) {
    struct Case {
        std::string_view input;
        std::string_view expected;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"a\tb\r\nc", "\"a\\tb\\r\\nc\""},
        {std::string_view("\x01\x7f", 2), "\"\\u{1}\\u{7f}\""},
        {"\xc3\xa9t\xc3\xa9", "\"\xc3\xa9t\xc3\xa9\""},
        // Zero width space, a combining acute accent, the byte-order mark.
        {"a\xe2\x80\x8b"
         "b\xcc\x81\xef\xbb\xbf",
         "\"a\\u{200b}b\\u{301}\\u{feff}\""},
        // Invalid bytes would make the quoted text invalid UTF-8: each sequence is U+FFFD.
        {"a\xff"
         "b\xe2\x82",
         "\"a\xef\xbf\xbd"
         "b\xef\xbf\xbd\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(quoted(c.input), c.expected);
    }
}

TEST(Utf8Lossy, ReplacesEachInvalidSequence) {
    EXPECT_EQ(utf8_lossy("ok"), "ok");
    EXPECT_EQ(utf8_lossy("a\xff"
                         "b"),
              "a\xef\xbf\xbd"
              "b");
    // A truncated three-byte sequence is one replacement, then the next byte stands alone.
    EXPECT_EQ(utf8_lossy("\xe2\x82"
                         "x"),
              "\xef\xbf\xbd"
              "x");
    EXPECT_EQ(utf8_lossy("\xf0\x9f\x98\x80"), "\xf0\x9f\x98\x80");
    EXPECT_FALSE(is_valid_utf8("\xc0\xaf"));
    EXPECT_TRUE(is_valid_utf8("\xe2\x80\xa6"));
}

// Invalid bytes are told apart from a U+FFFD in the text, and a sequence the text merely cuts
// short from one that no further byte could mend.
TEST(DecodeUtf8, SaysWhatKindOfSequenceItFound) {
    struct Case {
        const char* name;
        std::string_view text;
        DecodedChar expected;
    };
    const Case cases[] = {
        {"ASCII", "q", {U'q', 1}},
        {"four bytes", "\xf0\x9f\x98\x80!", {U'\U0001F600', 4}},
        {"U+FFFD itself", "\xef\xbf\xbd", {0xFFFD, 3}},
        {"lead byte alone", "\xe2", {0xFFFD, 1, false, true}},
        {"two of three bytes", "\xe2\x86", {0xFFFD, 2, false, true}},
        {"broken by an ASCII byte", "\xe2q", {0xFFFD, 1, false, false}},
        {"overlong", "\xe0\x80\x80", {0xFFFD, 1, false, false}},
        {"surrogate", "\xed\xa0\x80", {0xFFFD, 1, false, false}},
        {"beyond U+10FFFF", "\xf4\x90", {0xFFFD, 1, false, false}},
        {"not a lead byte", "\xff", {0xFFFD, 1, false, false}},
        {"stray continuation byte", "\x80", {0xFFFD, 1, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedChar decoded = decode_utf8(c.text);
        EXPECT_EQ(decoded.code_point, c.expected.code_point);
        EXPECT_EQ(decoded.length, c.expected.length);
        EXPECT_EQ(decoded.valid, c.expected.valid);
        EXPECT_EQ(decoded.cut_short, c.expected.cut_short);
    }
}

TEST(UnicodeWhitespace, TrimAndSplitUseTheWholeClass) {
    // U+3000 ideographic space, U+00A0 no-break space, U+2028 line separator.
    const std::string text =
        "\xe3\x80\x80 a\xc2\xa0"
        "b\tc\xe2\x80\xa8";
    EXPECT_EQ(trim_unicode_whitespace(text),
              "a\xc2\xa0"
              "b\tc");
    const auto tokens = split_unicode_whitespace(text);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0], "a");
    EXPECT_EQ(tokens[1], "b");
    EXPECT_EQ(tokens[2], "c");
    EXPECT_EQ(trim_unicode_whitespace(" \r\n\x0b\x0c "), "");
    // U+200B zero width space is not White_Space.
    EXPECT_EQ(split_unicode_whitespace("a\xe2\x80\x8b"
                                       "b")
                  .size(),
              1u);
}

TEST(AsciiLowercase, LeavesNonAsciiAlone) {
    EXPECT_EQ(ascii_lowercase("TinySA ULTRA \xc3\x89"), "tinysa ultra \xc3\x89");
}

}  // namespace
}  // namespace vireo
