#include "tui/block.hpp"

namespace vireo::tui {

Rect Block::inner(Rect area) const {
    return area;
}
void render(const Block&, Rect, Buffer&) {}

}  // namespace vireo::tui
