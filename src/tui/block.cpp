#include "tui/block.hpp"

#include "tui/symbols.hpp"

namespace vireo::tui {

Rect Block::inner(Rect area) const {
    if (area.width < 2 || area.height < 2) {
        return Rect{area.x, area.y, 0, 0};
    }
    return Rect{static_cast<std::uint16_t>(area.x + 1), static_cast<std::uint16_t>(area.y + 1),
                static_cast<std::uint16_t>(area.width - 2),
                static_cast<std::uint16_t>(area.height - 2)};
}

void render(const Block& block, Rect area, Buffer& buffer) {
    area = area.intersection(buffer.area());
    if (area.is_empty()) {
        return;
    }
    buffer.set_style(area, block.style);

    const std::uint16_t left = area.x;
    const std::uint16_t top = area.y;
    const auto right = static_cast<std::uint16_t>(area.right() - 1);
    const auto bottom = static_cast<std::uint16_t>(area.bottom() - 1);
    const Style& style = block.border_style;
    for (std::uint16_t x = left; x <= right; ++x) {
        buffer.set_symbol(x, top, symbols::HORIZONTAL, style);
        buffer.set_symbol(x, bottom, symbols::HORIZONTAL, style);
    }
    for (std::uint16_t y = top; y <= bottom; ++y) {
        buffer.set_symbol(left, y, symbols::VERTICAL, style);
        buffer.set_symbol(right, y, symbols::VERTICAL, style);
    }
    buffer.set_symbol(left, top, symbols::TOP_LEFT, style);
    buffer.set_symbol(right, top, symbols::TOP_RIGHT, style);
    buffer.set_symbol(left, bottom, symbols::BOTTOM_LEFT, style);
    buffer.set_symbol(right, bottom, symbols::BOTTOM_RIGHT, style);

    if (!block.title.empty() && area.width > 2) {
        buffer.set_stringn(static_cast<std::uint16_t>(left + 1), top, block.title, area.width - 2u,
                           style);
    }
}

Rect render_surround(Rect area, Buffer& buffer, const Style& style,
                     const std::optional<Block>& block) {
    area = area.intersection(buffer.area());
    if (area.is_empty()) {
        return Rect{area.x, area.y, 0, 0};
    }
    buffer.set_style(area, style);
    if (!block) {
        return area;
    }
    render(*block, area, buffer);
    return block->inner(area);
}

}  // namespace vireo::tui
