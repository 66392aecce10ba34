#pragma once
// A box with all four plain borders and an optional title on the top border.

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

}  // namespace vireo::tui
