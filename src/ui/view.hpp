#pragma once
// The five screens, drawn from the interface state into a frame buffer.

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "tui/buffer.hpp"
#include "tui/list.hpp"
#include "tui/style.hpp"
#include "ui/state.hpp"
#include "ui/ui_error.hpp"

namespace vireo {

// Draws the screen of the state's mode over the whole frame. A kept widget that the screen
// needs and that is missing gives UninitializedItemList, and nothing is drawn.
std::expected<void, UiError> draw_view(tui::Buffer& frame, UiState& state);

// The one-line key help, centred in `area`.
void render_help(tui::Buffer& buffer, tui::Rect area);

// The list with a box titled `title` in `colour`, and its own base colour `colour`; items and
// highlight stay as they were.
tui::List decorate_list(tui::List list, std::string_view title, tui::Color colour);

// Gives both lists the box and colour that match the focus; acts only on the connection screen.
std::expected<void, UiError> rebuild_lists(UiState& state);

// A list of `items` highlighted with a Blue background and italics, without a box.
tui::List make_list(std::vector<std::string> items);

}  // namespace vireo
