#pragma once
// Text helpers shared by the layers: quoting for debug forms, lossy UTF-8 decoding, and the
// Unicode White_Space rules used for trimming and splitting device replies.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// The text between double quotes, with backslash escapes for quotes, backslashes and control
// characters ("\"a\\tb\""); each invalid UTF-8 sequence becomes U+FFFD.
std::string quoted(std::string_view text);

// The bytes as UTF-8 text, each invalid sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view bytes);
// Writes the UTF-8 encoding of one code point to `out`; returns its length, 1 to 4.
std::size_t encode_utf8(char32_t c, char (&out)[4]);
// Appends the UTF-8 encoding of one code point.
void append_utf8(std::string& out, char32_t c);
// True when the bytes are valid UTF-8.
bool is_valid_utf8(std::string_view bytes);

// One code point decoded from the front of `text`; invalid bytes decode as U+FFFD one at a time.
struct DecodedChar {
    char32_t code_point;
    std::size_t length;  // bytes consumed, at least 1
    bool valid = true;   // false for invalid bytes, told apart from a U+FFFD in the text
    // Invalid only because the text ends inside a sequence that more bytes could complete.
    bool cut_short = false;
};
DecodedChar decode_utf8(std::string_view text);

// Unicode White_Space: tab to carriage return, space, U+0085, U+00A0, U+1680, U+2000-U+200A,
// U+2028, U+2029, U+202F, U+205F, U+3000.
bool is_unicode_whitespace(char32_t c);

// The text without leading and trailing Unicode White_Space.
std::string_view trim_unicode_whitespace(std::string_view text);
// The text without leading Unicode White_Space.
std::string_view trim_start_unicode_whitespace(std::string_view text);
// The maximal runs of characters that are not Unicode White_Space, in order.
std::vector<std::string_view> split_unicode_whitespace(std::string_view text);

// A copy with only the ASCII letters A-Z lowered.
std::string ascii_lowercase(std::string_view text);

}  // namespace vireo
