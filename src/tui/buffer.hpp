#pragma once
// The grid of cells a frame is drawn into before it goes to the terminal.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "tui/style.hpp"

namespace vireo::tui {

// A rectangle of cells; x and y are absolute terminal coordinates.
struct Rect {
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;

    constexpr std::uint32_t area() const { return std::uint32_t{width} * height; }
    constexpr bool is_empty() const { return width == 0 || height == 0; }
    // One past the last column and row (saturating at 65535).
    constexpr std::uint16_t right() const { return saturating_add(x, width); }
    constexpr std::uint16_t bottom() const { return saturating_add(y, height); }
    constexpr bool contains(std::uint16_t cx, std::uint16_t cy) const {
        return cx >= x && cx < right() && cy >= y && cy < bottom();
    }
    // The cells both rectangles cover; empty (with a zero size) when they do not meet.
    constexpr Rect intersection(const Rect& other) const {
        const std::uint16_t left = x > other.x ? x : other.x;
        const std::uint16_t top = y > other.y ? y : other.y;
        const std::uint16_t r = right() < other.right() ? right() : other.right();
        const std::uint16_t b = bottom() < other.bottom() ? bottom() : other.bottom();
        if (r <= left || b <= top) {
            return Rect{left, top, 0, 0};
        }
        return Rect{left, top, static_cast<std::uint16_t>(r - left),
                    static_cast<std::uint16_t>(b - top)};
    }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;

  private:
    static constexpr std::uint16_t saturating_add(std::uint16_t a, std::uint16_t b) {
        const std::uint32_t sum = std::uint32_t{a} + b;
        return sum > 0xFFFF ? std::uint16_t{0xFFFF} : static_cast<std::uint16_t>(sum);
    }
};

// What one cell shows: a character and the zero-width marks joined to it, as UTF-8, kept inline
// so that cells are plain values that copy and compare as bytes. Unused bytes are always zero.
class Symbol {
  public:
    // Room for a character with up to four marks of four bytes each.
    static constexpr std::size_t CAPACITY = 20;

    // The empty symbol: the cell a wide character covers.
    constexpr Symbol() = default;
    // `text` must fit; longer text is cut (tests and constants only).
    constexpr explicit Symbol(std::string_view text) { assign(text); }

    constexpr std::string_view view() const { return std::string_view(bytes_, size_); }
    constexpr operator std::string_view() const { return view(); }
    constexpr bool empty() const { return size_ == 0; }

    constexpr void clear() {
        for (std::size_t i = 0; i < size_; ++i) {
            bytes_[i] = 0;
        }
        size_ = 0;
    }
    constexpr void assign(std::string_view text) {
        clear();
        size_ = static_cast<std::uint8_t>(text.size() < CAPACITY ? text.size() : CAPACITY);
        for (std::size_t i = 0; i < size_; ++i) {
            bytes_[i] = text[i];
        }
    }
    // Appends one code point; false (and nothing changed) when it does not fit.
    bool push(char32_t code_point);

    friend constexpr bool operator==(const Symbol&, const Symbol&) = default;
    friend constexpr bool operator==(const Symbol& symbol, std::string_view text) {
        return symbol.view() == text;
    }

  private:
    char bytes_[CAPACITY] = {};
    std::uint8_t size_ = 0;
};

// One terminal cell. A wide character sits in the first of its two cells; the second holds
// an empty symbol. Zero-width characters are joined to the symbol they follow.
struct Cell {
    Symbol symbol{" "};
    Color fg = Color::Reset;
    Color bg = Color::Reset;
    Modifier modifier = Modifier::None;

    // Lays a partial style over the cell.
    void set_style(const Style& style) {
        if (style.fg) {
            fg = *style.fg;
        }
        if (style.bg) {
            bg = *style.bg;
        }
        modifier |= style.add_modifier;
    }
    friend constexpr bool operator==(const Cell&, const Cell&) = default;
};

class Buffer {
  public:
    // A blank buffer covering `area`.
    explicit Buffer(Rect area);

    Rect area() const { return area_; }
    // The cell at absolute coordinates inside the area.
    const Cell& cell(std::uint16_t x, std::uint16_t y) const { return cells_[index_of(x, y)]; }
    Cell& cell(std::uint16_t x, std::uint16_t y) { return cells_[index_of(x, y)]; }

    // Writes text on row y from column x, at most `max_width` cells and never past the area's
    // right edge, with `style` laid over the written cells. Control characters show as U+FFFD
    // (a tab as a blank), invalid UTF-8 as U+FFFD. A wide character that does not fit ends the
    // text. Returns the column after the last written cell.
    std::uint16_t set_stringn(std::uint16_t x, std::uint16_t y, std::string_view text,
                              std::size_t max_width, const Style& style);
    // Puts `symbol`, one printable character of one cell, at (x, y) with `style` laid over the
    // cell; nothing when (x, y) is outside the area. For the fixed symbols of borders and charts,
    // which need no decoding or measuring.
    void set_symbol(std::uint16_t x, std::uint16_t y, const Symbol& symbol, const Style& style);
    // Lays `style` over every cell of `area` inside the buffer.
    void set_style(Rect area, const Style& style);
    // Covers a new area with blank cells.
    void resize(Rect area);
    // Every cell back to a blank in the default colours.
    void reset();
    // Every cell in order, row by row.
    std::span<const Cell> cells() const { return cells_; }

  private:
    std::size_t index_of(std::uint16_t x, std::uint16_t y) const {
        assert(area_.contains(x, y));
        return std::size_t{static_cast<std::uint16_t>(y - area_.y)} * area_.width +
               static_cast<std::uint16_t>(x - area_.x);
    }
    // Clears the other half of a wide character that a write at (x, y) breaks.
    void release_wide(std::uint16_t x, std::uint16_t y);

    Rect area_;
    std::vector<Cell> cells_;
};

// One cell to put on the screen: a wide symbol is sent alone, and covers the next cell too.
struct CellUpdate {
    std::uint16_t x;
    std::uint16_t y;
    const Cell* cell;
    bool wide;
};

// The cells of `next` that differ from `previous` (buffers of one area), in order; a wide symbol
// goes out again when the cell it covers changed, and covered cells never go out alone. With
// `everything`, every cell of `next` that is not covered goes out. Replaces `updates`.
void diff(const Buffer& previous, const Buffer& next, bool everything,
          std::vector<CellUpdate>& updates);

}  // namespace vireo::tui
