#pragma once
// Widths of text in terminal cells, from a fixed table so that layout does not depend on the
// process locale: East Asian wide and fullwidth characters take two cells, combining marks and
// other zero-width characters none, everything else one.

#include <cstddef>
#include <string_view>

namespace vireo::tui {

// The cells one code point takes: 0, 1 or 2. Control characters count as 1 (they are drawn as
// a replacement character).
int char_width(char32_t code_point);

// The cells a UTF-8 text takes when drawn on one line; invalid bytes count as one U+FFFD each.
std::size_t display_width(std::string_view utf8);

}  // namespace vireo::tui
