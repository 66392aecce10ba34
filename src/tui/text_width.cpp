#include "tui/text_width.hpp"

#include <algorithm>
#include <span>

#include "common/text.hpp"
#include "tui/text_width_table.hpp"

namespace vireo::tui {

namespace {

bool in_ranges(char32_t code_point, std::span<const detail::CodeRange> ranges) {
    const auto it = std::upper_bound(
        ranges.begin(), ranges.end(), code_point,
        [](char32_t c, const detail::CodeRange& range) { return c < range.first; });
    return it != ranges.begin() && code_point <= std::prev(it)->last;
}

}  // namespace

int char_width(char32_t code_point) {
    if (code_point < 0x300) {
        return 1;
    }
    if (in_ranges(code_point, detail::ZERO_WIDTH_RANGES)) {
        return 0;
    }
    if (in_ranges(code_point, detail::WIDE_RANGES)) {
        return 2;
    }
    return 1;
}

std::size_t display_width(std::string_view utf8) {
    std::size_t width = 0;
    while (!utf8.empty()) {
        const DecodedChar decoded = decode_utf8(utf8);
        utf8.remove_prefix(decoded.length);
        width += static_cast<std::size_t>(char_width(decoded.code_point));
    }
    return width;
}

}  // namespace vireo::tui
