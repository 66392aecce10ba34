#pragma once
// A box with all four plain borders and an optional title on the top border.

#include <optional>
#include <string>

#include "tui/buffer.hpp"
#include "tui/style.hpp"

namespace vireo::tui {

struct Block {
    // Drawn on the top border from the column after the corner, cut before the other corner.
    std::string title{};
    // Laid over the whole area of the box.
    Style style{};
    // Laid over the border cells, title included.
    Style border_style{};

    // The area inside the borders (empty when the box has no room inside).
    Rect inner(Rect area) const;
};

// Draws the box over `area` (clipped to the buffer).
void render(const Block& block, Rect area, Buffer& buffer);

// What every boxed widget does first: clips `area` to the buffer, lays `style` over it, draws
// the box if there is one, and returns the area left for the content (empty when none is).
Rect render_surround(Rect area, Buffer& buffer, const Style& style,
                     const std::optional<Block>& block);

}  // namespace vireo::tui
