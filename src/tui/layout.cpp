#include "tui/layout.hpp"

namespace vireo::tui {

std::vector<Rect> split(Rect area, Direction, std::span<const Constraint> constraints) {
    return std::vector<Rect>(constraints.size(), Rect{area.x, area.y, 0, 0});
}

}  // namespace vireo::tui
