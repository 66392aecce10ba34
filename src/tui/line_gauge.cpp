#include "tui/line_gauge.hpp"

namespace vireo::tui {

void render(const LineGauge&, Rect, Buffer&) {}

}  // namespace vireo::tui
