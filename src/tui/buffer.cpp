#include "tui/buffer.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <type_traits>

#include "common/text.hpp"
#include "tui/text_width.hpp"

namespace vireo::tui {

namespace {

// The terminal keeps at most this many code points in one cell: a base and its marks.
constexpr std::size_t MAX_CODE_POINTS_PER_CELL = 5;

std::size_t code_point_count(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }));
}

// Nothing that could move the cursor or switch terminal modes may reach a cell.
char32_t printable(char32_t c) {
    if (c == U'\t') {
        return U' ';
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
        return 0xFFFD;
    }
    return c;
}

constexpr Symbol BLANK{" "};
constexpr Cell BLANK_CELL{};

// Rows are compared as bytes, which holds only while a cell has no padding and one value has
// one representation (a symbol's unused bytes are zero).
static_assert(std::has_unique_object_representations_v<Cell>);
static_assert(sizeof(Cell) == 24);

}  // namespace

bool Symbol::push(char32_t code_point) {
    char bytes[4];
    const std::size_t length = encode_utf8(code_point, bytes);
    if (size_ + length > CAPACITY) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        bytes_[size_ + i] = bytes[i];
    }
    size_ = static_cast<std::uint8_t>(size_ + length);
    return true;
}

Buffer::Buffer(Rect area) : area_(area), cells_(area.area()) {}

std::uint16_t Buffer::set_stringn(std::uint16_t x, std::uint16_t y, std::string_view text,
                                  std::size_t max_width, const Style& style) {
    if (!area_.contains(x, y)) {
        return x;
    }
    const std::size_t limit = std::min<std::size_t>(std::size_t{x} + max_width, area_.right());
    std::size_t column = x;
    Cell* previous = nullptr;
    while (!text.empty()) {
        const DecodedChar decoded = decode_utf8(text);
        text.remove_prefix(decoded.length);
        const char32_t c = printable(decoded.code_point);
        const int width = char_width(c);
        if (width == 0) {
            if (previous != nullptr &&
                code_point_count(previous->symbol) < MAX_CODE_POINTS_PER_CELL) {
                previous->symbol.push(c);
            }
            continue;
        }
        if (column + static_cast<std::size_t>(width) > limit) {
            break;
        }
        const auto cx = static_cast<std::uint16_t>(column);
        release_wide(cx, y);
        if (width == 2) {
            release_wide(static_cast<std::uint16_t>(cx + 1), y);
        }
        Cell& target = cell(cx, y);
        target.symbol.clear();
        target.symbol.push(c);
        target.set_style(style);
        if (width == 2) {
            Cell& trailing = cell(static_cast<std::uint16_t>(cx + 1), y);
            trailing.symbol.clear();
            trailing.set_style(style);
        }
        previous = &target;
        column += static_cast<std::size_t>(width);
    }
    return static_cast<std::uint16_t>(column);
}

void Buffer::set_symbol(std::uint16_t x, std::uint16_t y, const Symbol& symbol,
                        const Style& style) {
    assert(display_width(symbol) == 1);
    if (!area_.contains(x, y)) {
        return;
    }
    Cell& target = cell(x, y);
    // Only a write over half of a wide character has more to do.
    if (target.symbol.empty() || (x + 1 < area_.right() && (&target)[1].symbol.empty())) {
        release_wide(x, y);
    }
    target.symbol = symbol;
    target.set_style(style);
}

void Buffer::set_style(Rect area, const Style& style) {
    // Most widgets lay an empty style over their whole area, every frame.
    if (!style.fg && !style.bg && style.add_modifier == Modifier::None) {
        return;
    }
    const Rect clipped = area.intersection(area_);
    for (std::uint16_t y = clipped.y; y < clipped.bottom(); ++y) {
        Cell* const row = &cell(clipped.x, y);
        for (std::uint16_t i = 0; i < clipped.width; ++i) {
            row[i].set_style(style);
        }
    }
}

void Buffer::resize(Rect area) {
    area_ = area;
    cells_.assign(area.area(), Cell{});
}

void Buffer::reset() {
    std::fill(cells_.begin(), cells_.end(), BLANK_CELL);
}

void Buffer::release_wide(std::uint16_t x, std::uint16_t y) {
    Cell& target = cell(x, y);
    if (target.symbol.empty()) {
        if (x > area_.x) {
            cell(static_cast<std::uint16_t>(x - 1), y).symbol = BLANK;
        }
        target.symbol = BLANK;
    }
    if (x + 1 < area_.right() && cell(static_cast<std::uint16_t>(x + 1), y).symbol.empty()) {
        cell(static_cast<std::uint16_t>(x + 1), y).symbol = BLANK;
    }
}

void diff(const Buffer& previous, const Buffer& next, bool everything,
          std::vector<CellUpdate>& updates) {
    updates.clear();
    const Rect area = next.area();
    assert(everything || previous.area() == area);
    const std::span<const Cell> now = next.cells();
    const std::span<const Cell> before = previous.cells();
    for (std::uint16_t row = 0; row < area.height; ++row) {
        const std::size_t start = std::size_t{row} * area.width;
        const Cell* line = now.data() + start;
        const Cell* old_line = everything ? nullptr : before.data() + start;
        // Cells are plain bytes: an unchanged row, the common case, costs one comparison.
        if (old_line != nullptr && std::memcmp(line, old_line, sizeof(Cell) * area.width) == 0) {
            continue;
        }
        const auto y = static_cast<std::uint16_t>(area.y + row);
        for (std::uint16_t column = 0; column < area.width; ++column) {
            const Cell& cell = line[column];
            if (cell.symbol.empty()) {
                continue;
            }
            const bool wide = column + 1 < area.width && line[column + 1].symbol.empty();
            if (old_line == nullptr || cell != old_line[column] ||
                (wide && line[column + 1] != old_line[column + 1])) {
                updates.push_back(
                    CellUpdate{static_cast<std::uint16_t>(area.x + column), y, &cell, wide});
            }
        }
    }
}

}  // namespace vireo::tui
