#pragma once
// Sorted code point ranges for the width table.

#include <array>

namespace vireo::tui::detail {

struct CodeRange {
    char32_t first;
    char32_t last;
};

inline constexpr std::size_t ZERO_WIDTH_RANGE_COUNT = 312;
inline constexpr std::size_t WIDE_RANGE_COUNT = 82;

extern const std::array<CodeRange, ZERO_WIDTH_RANGE_COUNT> ZERO_WIDTH_RANGES;
extern const std::array<CodeRange, WIDE_RANGE_COUNT> WIDE_RANGES;

}  // namespace vireo::tui::detail
