#include "tui/color_map.hpp"

namespace vireo::tui {

TerminalColor terminal_color(Color color, int colors, bool foreground) {
    const bool bright = colors >= 16;
    switch (color) {
        case Color::Reset:
            return {-1, false};
        case Color::Black:
            return {0, false};
        case Color::Red:
            return {1, false};
        case Color::Yellow:
            return {3, false};
        case Color::Blue:
            return {4, false};
        case Color::Gray:
            return {7, false};
        case Color::DarkGray:
            return bright ? TerminalColor{8, false} : TerminalColor{0, foreground};
        case Color::White:
            return bright ? TerminalColor{15, false} : TerminalColor{7, foreground};
    }
    return {-1, false};
}

}  // namespace vireo::tui
