#include "tui/block.hpp"

#include <gtest/gtest.h>

#include "widget_checks.hpp"

namespace vireo::tui {
namespace {

using test::Lines;
using test::lines;

TEST(Block, DrawsBordersAndTitleAtEverySize) {
    struct Case {
        const char* name;
        Rect area;
        std::string title;
        Lines expected;
    };
    const Case cases[] = {
        {"titled", {1, 1, 8, 3}, "Status", {"┌Status┐", "│      │", "└──────┘"}},
        {"title cut before the corner", {1, 1, 6, 3}, "Status", {"┌Stat┐", "│    │", "└────┘"}},
        {"no title", {1, 1, 4, 2}, "", {"┌──┐", "└──┘"}},
        {"title in a two-cell box", {1, 1, 2, 2}, "Status", {"┌┐", "└┘"}},
        {"one row", {1, 1, 3, 1}, "x", {"└x┘"}},
        {"one column", {1, 1, 1, 3}, "x", {"┐", "│", "┘"}},
        {"wide title cut whole",
         {1, 1, 5, 2},
         "\xE7\x95\x8C\xE7\x95\x8C",
         {"┌\xE7\x95\x8C─┐", "└───┘"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer buffer(Rect{0, 0, 12, 6});
        render(Block{.title = c.title}, c.area, buffer);
        EXPECT_EQ(test::lines_of(buffer, c.area), c.expected);
        EXPECT_TRUE(test::untouched_outside(buffer, c.area));
    }
}

TEST(Block, ZeroSizeAndOutsideAreasDrawNothing) {
    for (const Rect area : {Rect{2, 2, 0, 3}, Rect{2, 2, 3, 0}, Rect{20, 20, 5, 5}}) {
        Buffer buffer(Rect{0, 0, 10, 5});
        render(Block{.title = "t"}, area, buffer);
        EXPECT_TRUE(test::untouched_outside(buffer, Rect{}));
    }
}

TEST(Block, AreaPartlyOutsideTheBufferIsClipped) {
    Buffer buffer(Rect{0, 0, 4, 2});
    render(Block{}, Rect{2, 0, 10, 10}, buffer);
    EXPECT_EQ(lines(buffer), (Lines{"  ┌┐", "  └┘"}));
}

TEST(Block, InnerIsInsideTheBorders) {
    EXPECT_EQ(Block{}.inner(Rect{3, 4, 10, 5}), (Rect{4, 5, 8, 3}));
    EXPECT_TRUE(Block{}.inner(Rect{3, 4, 2, 5}).is_empty());
    EXPECT_TRUE(Block{}.inner(Rect{3, 4, 5, 1}).is_empty());
}

TEST(Block, StyleCoversTheAreaAndBorderStyleTheBorderAndTitle) {
    Buffer buffer(Rect{0, 0, 6, 3});
    const Block block{.title = "ab",
                      .style = Style{}.with_bg(Color::Blue),
                      .border_style = Style::foreground(Color::DarkGray)};
    render(block, buffer.area(), buffer);
    for (const auto& [x, y] :
         {std::pair{0, 0}, std::pair{1, 0}, std::pair{5, 2}, std::pair{0, 1}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        EXPECT_EQ(buffer.cell(x, y).fg, Color::DarkGray);
        EXPECT_EQ(buffer.cell(x, y).bg, Color::Blue);
    }
    EXPECT_EQ(buffer.cell(2, 1).fg, Color::Reset);
    EXPECT_EQ(buffer.cell(2, 1).bg, Color::Blue);
}

}  // namespace
}  // namespace vireo::tui
