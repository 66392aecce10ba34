#include "tui/buffer.hpp"

#include <algorithm>
#include <cassert>

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

}  // namespace

void Cell::set_style(const Style& style) {
    if (style.fg) {
        fg = *style.fg;
    }
    if (style.bg) {
        bg = *style.bg;
    }
    modifier |= style.add_modifier;
}

Buffer::Buffer(Rect area) : area_(area), cells_(area.area()) {}

const Cell& Buffer::cell(std::uint16_t x, std::uint16_t y) const {
    return cells_[index_of(x, y)];
}

Cell& Buffer::cell(std::uint16_t x, std::uint16_t y) {
    return cells_[index_of(x, y)];
}

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
                append_utf8(previous->symbol, c);
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
        append_utf8(target.symbol, c);
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

void Buffer::set_style(Rect area, const Style& style) {
    const Rect clipped = area.intersection(area_);
    for (std::uint16_t y = clipped.y; y < clipped.bottom(); ++y) {
        for (std::uint16_t x = clipped.x; x < clipped.right(); ++x) {
            cell(x, y).set_style(style);
        }
    }
}

void Buffer::resize(Rect area) {
    area_ = area;
    cells_.assign(area.area(), Cell{});
}

void Buffer::reset() {
    for (Cell& c : cells_) {
        c.reset();
    }
}

std::size_t Buffer::index_of(std::uint16_t x, std::uint16_t y) const {
    assert(area_.contains(x, y));
    return std::size_t{static_cast<std::uint16_t>(y - area_.y)} * area_.width +
           static_cast<std::uint16_t>(x - area_.x);
}

void Buffer::release_wide(std::uint16_t x, std::uint16_t y) {
    Cell& target = cell(x, y);
    if (target.symbol.empty()) {
        if (x > area_.x) {
            cell(static_cast<std::uint16_t>(x - 1), y).symbol.assign(1, ' ');
        }
        target.symbol.assign(1, ' ');
    }
    if (x + 1 < area_.right() && cell(static_cast<std::uint16_t>(x + 1), y).symbol.empty()) {
        cell(static_cast<std::uint16_t>(x + 1), y).symbol.assign(1, ' ');
    }
}

}  // namespace vireo::tui
