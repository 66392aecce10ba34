#include "tui/list.hpp"

#include <gtest/gtest.h>

#include "widget_checks.hpp"

namespace vireo::tui {
namespace {

using test::Lines;
using test::lines;

const Style HIGHLIGHT = Style{}.with_bg(Color::Blue).with_modifier(Modifier::Italic);

List five_items() {
    return List{.items = {"a", "b", "c", "d", "e"},
                .block = Block{.title = "L"},
                .style = Style::foreground(Color::White),
                .highlight_style = HIGHLIGHT};
}

TEST(List, ScrollsSoThatTheSelectionIsVisible) {
    struct Case {
        const char* name;
        ListState before;
        ListState after;
        Lines expected;
        int highlighted_row;  // inner row with the highlight, -1 for none
    };
    const Case cases[] = {
        {"no selection",
         {std::nullopt, 0},
         {std::nullopt, 0},
         {"┌L──┐", "│a  │", "│b  │", "│c  │", "└───┘"},
         -1},
        {"selection visible", {1, 0}, {1, 0}, {"┌L──┐", "│a  │", "│b  │", "│c  │", "└───┘"}, 1},
        {"selection below", {4, 0}, {4, 2}, {"┌L──┐", "│c  │", "│d  │", "│e  │", "└───┘"}, 2},
        {"selection above", {1, 2}, {1, 1}, {"┌L──┐", "│b  │", "│c  │", "│d  │", "└───┘"}, 0},
        {"offset past the end pulled back",
         {std::nullopt, 9},
         {std::nullopt, 2},
         {"┌L──┐", "│c  │", "│d  │", "│e  │", "└───┘"},
         -1},
        {"selection past the items highlights nothing",
         {7, 0},
         {7, 0},
         {"┌L──┐", "│a  │", "│b  │", "│c  │", "└───┘"},
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer buffer(Rect{0, 0, 5, 5});
        ListState state = c.before;
        render(five_items(), buffer.area(), buffer, state);
        EXPECT_EQ(state, c.after);
        EXPECT_EQ(lines(buffer), c.expected);
        for (std::uint16_t row = 0; row < 3; ++row) {
            const bool lit = static_cast<int>(row) == c.highlighted_row;
            for (std::uint16_t x = 1; x <= 3; ++x) {
                const Cell& cell = buffer.cell(x, static_cast<std::uint16_t>(row + 1));
                EXPECT_EQ(cell.bg, lit ? Color::Blue : Color::Reset) << x << "," << row;
                EXPECT_EQ(contains(cell.modifier, Modifier::Italic), lit);
                EXPECT_EQ(cell.fg, Color::White);
            }
        }
        EXPECT_EQ(buffer.cell(0, 0).fg, Color::White);
        EXPECT_EQ(buffer.cell(0, 2).bg, Color::Reset);
    }
}

TEST(List, EmptyListShowsAnEmptyBox) {
    Buffer buffer(Rect{0, 0, 6, 3});
    ListState state{0, 0};
    render(List{.items = {}, .block = Block{.title = "COM"}}, buffer.area(), buffer, state);
    EXPECT_EQ(lines(buffer), (Lines{"┌COM─┐", "│    │", "└────┘"}));
    EXPECT_EQ(state.offset, 0u);
}

TEST(List, LongItemsAreCutAtTheInnerEdge) {
    Buffer buffer(Rect{0, 0, 6, 3});
    ListState state;
    render(List{.items = {"/dev/ttyUSB0"}, .block = Block{}}, buffer.area(), buffer, state);
    EXPECT_EQ(lines(buffer), (Lines{"┌────┐", "│/dev│", "└────┘"}));
}

TEST(List, TinyAndZeroAreasDrawNothingOutside) {
    for (const Rect area : {Rect{1, 1, 0, 0}, Rect{1, 1, 1, 1}, Rect{1, 1, 2, 2}, Rect{1, 1, 3, 3},
                            Rect{1, 1, 4, 0}}) {
        SCOPED_TRACE(testing::Message() << area.width << "x" << area.height);
        Buffer buffer(Rect{0, 0, 6, 6});
        ListState state{4, 0};
        render(five_items(), area, buffer, state);
        EXPECT_TRUE(test::untouched_outside(buffer, area));
    }
}

}  // namespace
}  // namespace vireo::tui
