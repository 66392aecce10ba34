#pragma once
// How the named colours become terminal colour numbers for a terminal with a given number of
// colours.

#include "tui/style.hpp"

namespace vireo::tui {

struct TerminalColor {
    // A terminal colour number; -1 is the terminal's default.
    short number = -1;
    // Set where a foreground needs bold to look as meant (bright colours on 8-colour terminals).
    bool bold = false;
};

// The terminal colour for `color` as a foreground or background on a terminal with `colors`
// colours (at least 8). White is 15, DarkGray 8; with fewer than 16 colours they become 7 and
// 0, as a foreground with bold.
TerminalColor terminal_color(Color color, int colors, bool foreground);

}  // namespace vireo::tui
