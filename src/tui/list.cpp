#include "tui/list.hpp"

namespace vireo::tui {

void render(const List& list, Rect area, Buffer& buffer, ListState& state) {
    const Rect inner = render_surround(area, buffer, list.style, list.block);
    if (inner.is_empty()) {
        return;
    }

    const std::size_t rows = inner.height;
    const std::size_t count = list.items.size();
    const bool has_selection = state.selected && *state.selected < count;
    if (has_selection) {
        const std::size_t selected = *state.selected;
        if (selected < state.offset) {
            state.offset = selected;
        } else if (selected >= state.offset + rows) {
            state.offset = selected + 1 - rows;
        }
    }
    state.offset = std::min(state.offset, count > rows ? count - rows : std::size_t{0});

    for (std::size_t row = 0; row < rows && state.offset + row < count; ++row) {
        const std::size_t index = state.offset + row;
        const auto y = static_cast<std::uint16_t>(inner.y + row);
        buffer.set_stringn(inner.x, y, list.items[index], inner.width, Style{});
        if (has_selection && index == *state.selected) {
            buffer.set_style(Rect{inner.x, y, inner.width, 1}, list.highlight_style);
        }
    }
}

}  // namespace vireo::tui
