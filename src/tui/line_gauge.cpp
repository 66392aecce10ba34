#include "tui/line_gauge.hpp"

#include <algorithm>
#include <cmath>

namespace vireo::tui {

void render(const LineGauge& gauge, Rect area, Buffer& buffer) {
    area = area.intersection(buffer.area());
    if (area.is_empty()) {
        return;
    }
    buffer.set_style(area, gauge.style);
    const std::uint16_t label_end =
        buffer.set_stringn(area.x, area.y, gauge.label, area.width, Style{});
    const std::uint32_t bar_start = std::uint32_t{label_end} + 1;
    if (bar_start >= area.right()) {
        return;
    }
    const std::uint32_t bar_width = area.right() - bar_start;
    const double ratio = std::isnan(gauge.ratio) ? 0.0 : std::clamp(gauge.ratio, 0.0, 1.0);
    const auto filled = static_cast<std::uint32_t>(std::floor(bar_width * ratio));
    for (std::uint32_t i = 0; i < bar_width; ++i) {
        const auto x = static_cast<std::uint16_t>(bar_start + i);
        if (i < filled) {
            buffer.set_stringn(x, area.y, gauge.filled_symbol, 1, gauge.filled_style);
        } else {
            buffer.set_stringn(x, area.y, gauge.unfilled_symbol, 1, gauge.unfilled_style);
        }
    }
}

}  // namespace vireo::tui
