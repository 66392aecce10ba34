#include "tui/color_map.hpp"

namespace vireo::tui {

int sgr_foreground(Color color) {
    switch (color) {
        case Color::Reset:
            return 39;
        case Color::Black:
            return 30;
        case Color::Red:
            return 31;
        case Color::Yellow:
            return 33;
        case Color::Blue:
            return 34;
        case Color::Gray:
            return 37;
        case Color::DarkGray:
            return 90;
        case Color::White:
            return 97;
    }
    return 39;
}

int sgr_background(Color color) {
    return sgr_foreground(color) + 10;
}

}  // namespace vireo::tui
