#pragma once
// A list of one-row items with a selected entry and a scroll offset kept between frames.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tui/block.hpp"
#include "tui/buffer.hpp"
#include "tui/style.hpp"

namespace vireo::tui {

struct ListState {
    // The highlighted item; none, or an index past the items, highlights nothing.
    std::optional<std::size_t> selected{};
    // The first item shown.
    std::size_t offset = 0;

    friend bool operator==(const ListState&, const ListState&) = default;
};

struct List {
    std::vector<std::string> items{};
    std::optional<Block> block{};
    // Laid over the whole area, box included.
    Style style{};
    // Laid over the full inner width of the selected item's row.
    Style highlight_style{};
};

// Draws the items from the state's offset, first moving the offset so that the selected item
// is visible and no rows stay empty while earlier items could fill them.
void render(const List& list, Rect area, Buffer& buffer, ListState& state);

}  // namespace vireo::tui
