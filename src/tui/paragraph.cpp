#include "tui/paragraph.hpp"

namespace vireo::tui {

void render(const Paragraph&, Rect, Buffer&) {}

}  // namespace vireo::tui
