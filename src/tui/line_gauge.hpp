#pragma once
// A one-row progress bar: a label, one blank, then the bar over the rest of the row.

#include <string>

#include "tui/buffer.hpp"
#include "tui/style.hpp"

namespace vireo::tui {

struct LineGauge {
    std::string label{};
    // Clamped to [0, 1]; not a number counts as 0.
    double ratio = 0.0;
    // Laid over the whole area.
    Style style{};
    // The first floor(bar width * ratio) bar cells.
    Style filled_style{};
    // The remaining bar cells.
    Style unfilled_style{};
    std::string filled_symbol = "─";
    std::string unfilled_symbol = "─";
};

// Draws the gauge on the area's top row.
void render(const LineGauge& gauge, Rect area, Buffer& buffer);

}  // namespace vireo::tui
