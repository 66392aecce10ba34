#pragma once
// How the named colours are selected on a terminal: the standard SGR parameters, which every
// terminal emulator in use understands.

#include "tui/style.hpp"

namespace vireo::tui {

// The SGR parameter that makes `color` the foreground: 30–37 for the eight colours (Gray is 37),
// 90–97 for the light ones (DarkGray 90, White 97), 39 for the terminal's default.
int sgr_foreground(Color color);
// The same for the background: 40–47, 100–107, 49 for the default.
int sgr_background(Color color);

}  // namespace vireo::tui
