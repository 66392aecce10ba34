// The text helpers on arbitrary bytes: quoting always gives valid UTF-8 with every quote and
// control character escaped, lossy decoding always gives valid UTF-8, and the decoder, trimming
// and splitting stay inside the input. Validity is judged by a separate, plain checker.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/text.hpp"
#include "fuzz_check.hpp"

namespace {

using vireo::fuzz::check;

// Well-formed UTF-8 as the Unicode standard's table of byte sequences lists it.
bool reference_valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        std::size_t need = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (b0 <= 0x7F) {
            ++i;
            continue;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            need = 1;
        } else if (b0 == 0xE0) {
            need = 2;
            lo = 0xA0;
        } else if (b0 == 0xED) {
            need = 2;
            hi = 0x9F;
        } else if (b0 >= 0xE1 && b0 <= 0xEF) {
            need = 2;
        } else if (b0 == 0xF0) {
            need = 3;
            lo = 0x90;
        } else if (b0 == 0xF4) {
            need = 3;
            hi = 0x8F;
        } else if (b0 >= 0xF1 && b0 <= 0xF3) {
            need = 3;
        } else {
            return false;
        }
        if (text.size() - i <= need) {
            return false;
        }
        for (std::size_t k = 1; k <= need; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            const unsigned char min = k == 1 ? lo : 0x80;
            const unsigned char max = k == 1 ? hi : 0xBF;
            if (b < min || b > max) {
                return false;
            }
        }
        i += need + 1;
    }
    return true;
}

bool within(std::string_view part, std::string_view whole) {
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

bool has_whitespace(std::string_view text) {
    while (!text.empty()) {
        const auto d = vireo::decode_utf8(text);
        if (vireo::is_unicode_whitespace(d.code_point)) {
            return true;
        }
        text.remove_prefix(d.length);
    }
    return false;
}

void check_quoted(std::string_view input) {
    const std::string out = vireo::quoted(input);
    check(reference_valid_utf8(out), "quoted text is valid UTF-8");
    check(out.size() >= 2 && out.front() == '"' && out.back() == '"', "quoted text has quotes");
    const std::string_view inner = std::string_view(out).substr(1, out.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        const auto b = static_cast<unsigned char>(inner[i]);
        check(b >= 0x20 && b != 0x7F, "no raw control byte inside the quotes");
        check(b != '"', "every quote inside is escaped");
        if (b == '\\') {
            check(i + 1 < inner.size(), "no lone backslash at the end");
            ++i;
        }
    }
}

void check_decoding(std::string_view input, bool valid) {
    std::size_t consumed = 0;
    std::string_view rest = input;
    while (!rest.empty()) {
        const auto d = vireo::decode_utf8(rest);
        check(d.length >= 1 && d.length <= 4 && d.length <= rest.size(), "decoded length in range");
        check(d.code_point <= 0x10FFFF && !(d.code_point >= 0xD800 && d.code_point <= 0xDFFF),
              "decoded a scalar value");
        if (valid) {
            check(reference_valid_utf8(rest.substr(0, d.length)), "valid text decodes whole");
        }
        consumed += d.length;
        rest.remove_prefix(d.length);
    }
    check(consumed == input.size(), "decoding consumes every byte");

    const std::string lossy = vireo::utf8_lossy(input);
    check(reference_valid_utf8(lossy), "lossy text is valid UTF-8");
    if (valid) {
        check(lossy == input, "valid text passes lossy decoding unchanged");
    }
}

void check_whitespace(std::string_view input) {
    const std::string_view trimmed = vireo::trim_unicode_whitespace(input);
    check(within(trimmed, input), "trimmed text lies in the input");
    check(vireo::trim_unicode_whitespace(trimmed) == trimmed, "trimming twice changes nothing");
    const std::string_view start = vireo::trim_start_unicode_whitespace(input);
    check(within(start, input) && start.data() + start.size() == input.data() + input.size(),
          "trimming the start keeps the end");
    check(start.substr(0, trimmed.size()) == trimmed, "the start-trimmed text begins as trimmed");

    const char* previous_end = input.data();
    for (const std::string_view token : vireo::split_unicode_whitespace(input)) {
        check(!token.empty() && within(token, input), "tokens are non-empty parts of the input");
        check(token.data() >= previous_end, "tokens come in order without overlapping");
        check(!has_whitespace(token), "tokens hold no white space");
        previous_end = token.data() + token.size();
    }
}

void check_lowercase(std::string_view input) {
    const std::string lowered = vireo::ascii_lowercase(input);
    check(lowered.size() == input.size(), "lowering keeps the length");
    for (std::size_t i = 0; i < input.size(); ++i) {
        const char c = input[i];
        const char expected = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        check(lowered[i] == expected, "only A-Z change");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = vireo::fuzz::as_text(data, size);
    const bool valid = reference_valid_utf8(input);
    check(vireo::is_valid_utf8(input) == valid, "validity agrees with the plain checker");
    check_quoted(input);
    check_decoding(input, valid);
    check_whitespace(input);
    check_lowercase(input);
    return 0;
}
