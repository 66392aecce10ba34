#include "common/text.hpp"

#include <fmt/format.h>

namespace vireo {

namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

// Characters a debug form writes as \u{..}: controls, invisible format characters, separators
// and combining marks, which would otherwise hide or merge into their neighbours.
bool needs_escape(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xAD || (c >= 0x300 && c <= 0x36F) ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2064) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

bool is_continuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length of the valid sequence at the front, or 0 when it is invalid. Also reports how many
// bytes form the invalid prefix, so replacement follows the "maximal subpart" rule.
struct Probe {
    std::size_t valid_length;    // 0 when invalid
    std::size_t invalid_length;  // bytes to replace with one U+FFFD when invalid
    char32_t code_point;
    bool cut_short = false;  // invalid because the text ends inside the sequence
};

Probe probe(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) {
        return {1, 0, b0};
    }
    std::size_t need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return {0, 1, REPLACEMENT};
    }
    for (std::size_t i = 1; i <= need; ++i) {
        if (i >= s.size()) {
            return {0, i, REPLACEMENT, true};
        }
        const auto b = static_cast<unsigned char>(s[i]);
        const bool ok = i == 1 ? (b >= lo && b <= hi) : is_continuation(b);
        if (!ok) {
            return {0, i, REPLACEMENT};
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    return {need + 1, 0, cp};
}

}  // namespace

std::size_t encode_utf8(char32_t c, char (&out)[4]) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

void append_utf8(std::string& out, char32_t c) {
    char bytes[4];
    out.append(bytes, encode_utf8(c, bytes));
}

DecodedChar decode_utf8(std::string_view text) {
    const Probe p = probe(text);
    if (p.valid_length != 0) {
        return {p.code_point, p.valid_length};
    }
    return {REPLACEMENT, p.invalid_length, false, p.cut_short};
}

bool is_valid_utf8(std::string_view bytes) {
    while (!bytes.empty()) {
        const Probe p = probe(bytes);
        if (p.valid_length == 0) {
            return false;
        }
        bytes.remove_prefix(p.valid_length);
    }
    return true;
}

std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const Probe p = probe(bytes);
        if (p.valid_length != 0) {
            out.append(bytes.substr(0, p.valid_length));
            bytes.remove_prefix(p.valid_length);
        } else {
            append_utf8(out, REPLACEMENT);
            bytes.remove_prefix(p.invalid_length);
        }
    }
    return out;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const DecodedChar d = decode_utf8(text);
        const char32_t c = d.code_point;
        switch (c) {
            case U'\0':
                out += "\\0";
                break;
            case U'\t':
                out += "\\t";
                break;
            case U'\r':
                out += "\\r";
                break;
            case U'\n':
                out += "\\n";
                break;
            case U'\\':
                out += "\\\\";
                break;
            case U'"':
                out += "\\\"";
                break;
            default:
                if (needs_escape(c)) {
                    out += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(c));
                } else if (c == REPLACEMENT) {
                    // Invalid bytes must not pass through: the quoted text stays valid UTF-8.
                    append_utf8(out, REPLACEMENT);
                } else {
                    out.append(text.substr(0, d.length));
                }
        }
        text.remove_prefix(d.length);
    }
    out += '"';
    return out;
}

bool is_unicode_whitespace(char32_t c) {
    switch (c) {
        case 0x09:
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x20:
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

std::string_view trim_start_unicode_whitespace(std::string_view text) {
    while (!text.empty()) {
        const DecodedChar d = decode_utf8(text);
        if (!is_unicode_whitespace(d.code_point)) {
            break;
        }
        text.remove_prefix(d.length);
    }
    return text;
}

std::string_view trim_unicode_whitespace(std::string_view text) {
    text = trim_start_unicode_whitespace(text);
    // Walk forward remembering where the last non-space character ended; UTF-8 can't be
    // decoded backwards without care, and replies are short.
    std::size_t end = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const DecodedChar d = decode_utf8(text.substr(pos));
        pos += d.length;
        if (!is_unicode_whitespace(d.code_point)) {
            end = pos;
        }
    }
    return text.substr(0, end);
}

std::vector<std::string_view> split_unicode_whitespace(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t pos = 0;
    std::size_t start = std::string_view::npos;
    while (pos < text.size()) {
        const DecodedChar d = decode_utf8(text.substr(pos));
        if (is_unicode_whitespace(d.code_point)) {
            if (start != std::string_view::npos) {
                tokens.push_back(text.substr(start, pos - start));
                start = std::string_view::npos;
            }
        } else if (start == std::string_view::npos) {
            start = pos;
        }
        pos += d.length;
    }
    if (start != std::string_view::npos) {
        tokens.push_back(text.substr(start));
    }
    return tokens;
}

std::string ascii_lowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

}  // namespace vireo
