#pragma once
// Colours and text attributes of one cell, and the partial style widgets lay over cells.

#include <cstdint>
#include <optional>

namespace vireo::tui {

// The named colours the screens use; Reset is the terminal's own default colour.
enum class Color : std::uint8_t { Reset, Black, Red, Yellow, Blue, Gray, DarkGray, White };

// Text attributes as bit flags.
enum class Modifier : std::uint8_t { None = 0, Bold = 1, Italic = 2 };

constexpr Modifier operator|(Modifier a, Modifier b) {
    return static_cast<Modifier>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr Modifier operator&(Modifier a, Modifier b) {
    return static_cast<Modifier>(static_cast<std::uint8_t>(a) & static_cast<std::uint8_t>(b));
}
constexpr Modifier& operator|=(Modifier& a, Modifier b) {
    return a = a | b;
}
// True when every flag of `flags` is set in `set`.
constexpr bool contains(Modifier set, Modifier flags) {
    return (set & flags) == flags;
}

// A partial style: unset colours leave a cell's colour as it is; modifiers are added.
struct Style {
    std::optional<Color> fg{};
    std::optional<Color> bg{};
    Modifier add_modifier = Modifier::None;

    // A style with only the foreground set.
    static constexpr Style foreground(Color color) {
        Style style;
        style.fg = color;
        return style;
    }
    constexpr Style with_bg(Color color) const {
        Style copy = *this;
        copy.bg = color;
        return copy;
    }
    constexpr Style with_modifier(Modifier modifier) const {
        Style copy = *this;
        copy.add_modifier |= modifier;
        return copy;
    }

    friend constexpr bool operator==(const Style&, const Style&) = default;
};

}  // namespace vireo::tui
