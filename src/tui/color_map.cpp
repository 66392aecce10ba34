#include "tui/color_map.hpp"

namespace vireo::tui {

TerminalColor terminal_color(Color, int, bool) {
    return {};
}

}  // namespace vireo::tui
