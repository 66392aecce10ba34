#include "tui/buffer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tui/text_width.hpp"
#include "widget_checks.hpp"

namespace vireo::tui {
namespace {

using test::Lines;
using test::lines;

TEST(Rect, IntersectionIsEmptyWhenApartAndClippedWhenOverlapping) {
    const Rect a{2, 3, 10, 5};
    EXPECT_EQ(a.intersection(Rect{5, 4, 20, 2}), (Rect{5, 4, 7, 2}));
    EXPECT_TRUE(a.intersection(Rect{12, 3, 4, 4}).is_empty());
    EXPECT_TRUE(a.intersection(Rect{0, 0, 2, 3}).is_empty());
    EXPECT_EQ(a.right(), 12);
    EXPECT_EQ(a.bottom(), 8);
    EXPECT_EQ((Rect{65530, 0, 100, 1}).right(), 65535);
}

TEST(TextWidth, CountsTerminalCells) {
    struct Case {
        const char* text;
        std::size_t width;
    };
    const Case cases[] = {
        {"", 0},
        {"COM Ports", 9},
        {"\xE2\x94\x8C\xE2\x94\x80", 2},  // box drawing is narrow
        {"\xE7\x95\x8C\xE9\x9D\xA2", 4},  // CJK is wide
        {"e\xCC\x81", 1},                 // combining acute accent adds nothing
        {"\xF0\x9F\x98\x80", 2},          // emoji
        {"\xFF\xFE", 2},                  // invalid bytes count one replacement each
        {"\xEF\xBC\xA1", 2},              // fullwidth A
        {"a\xE2\x80\x8B"
         "b",
         2},  // zero-width space
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(display_width(c.text), c.width);
    }
}

TEST(Buffer, SetStringWritesClipsAndReturnsTheNextColumn) {
    struct Case {
        const char* name;
        std::uint16_t x;
        std::size_t max_width;
        const char* text;
        std::string expected;
        std::uint16_t next;
    };
    const Case cases[] = {
        {"fits", 1, 10, "abc", " abc  ", 4},
        {"cut by max width", 0, 2, "abcdef", "ab    ", 2},
        {"cut by the right edge", 4, 10, "abcdef", "    ab", 6},
        {"wide characters take two cells", 0, 10,
         "\xE7\x95\x8C"
         "a",
         "\xE7\x95\x8C"
         "a   ",
         3},
        {"a wide character that does not fit ends the text", 5, 10, "\xE7\x95\x8C", "      ", 5},
        {"zero-width joins the previous cell", 0, 10, "e\xCC\x81x", "e\xCC\x81x    ", 2},
        {"zero-width at the start is dropped", 0, 10, "\xCC\x81x", "x     ", 1},
        {"invalid bytes show as replacement", 0, 10,
         "a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b   ",
         3},
        {"escape cannot reach the terminal", 0, 10, "\x1B[2J", "\xEF\xBF\xBD[2J  ", 4},
        {"carriage return and bell too", 0, 10, "a\r\x07", "a\xEF\xBF\xBD\xEF\xBF\xBD   ", 3},
        {"C1 controls too", 0, 10, "\xC2\x9B", "\xEF\xBF\xBD     ", 1},
        {"tab is a blank", 0, 10, "a\tb", "a b   ", 3},
        {"start outside the area", 6, 10, "abc", "      ", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer buffer(Rect{0, 0, 6, 1});
        EXPECT_EQ(buffer.set_stringn(c.x, 0, c.text, c.max_width, Style{}), c.next);
        EXPECT_EQ(lines(buffer), Lines{c.expected});
    }
}

TEST(Buffer, WideCharacterLeavesAnEmptyTrailingCell) {
    Buffer buffer(Rect{0, 0, 4, 1});
    buffer.set_stringn(1, 0, "\xE7\x95\x8C", 4, Style::foreground(Color::Red));
    EXPECT_EQ(buffer.cell(1, 0).symbol, "\xE7\x95\x8C");
    EXPECT_EQ(buffer.cell(2, 0).symbol, "");
    EXPECT_EQ(buffer.cell(2, 0).fg, Color::Red);
}

TEST(Buffer, OverwritingHalfAWideCharacterClearsTheOtherHalf) {
    struct Case {
        const char* name;
        std::uint16_t x;
        std::string expected;
    };
    const Case cases[] = {
        {"over the leading half", 1, " x   "},
        {"over the trailing half", 2, "  x  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer buffer(Rect{0, 0, 5, 1});
        buffer.set_stringn(1, 0, "\xE7\x95\x8C", 5, Style{});
        buffer.set_stringn(c.x, 0, "x", 1, Style{});
        EXPECT_EQ(lines(buffer), Lines{c.expected});
        for (std::uint16_t x = 0; x < 5; ++x) {
            EXPECT_FALSE(buffer.cell(x, 0).symbol.empty()) << x;
        }
    }
}

TEST(Buffer, StylesArePatchedOverTheClippedArea) {
    Buffer buffer(Rect{2, 1, 4, 3});
    buffer.set_style(Rect{0, 0, 4, 3}, Style::foreground(Color::Red).with_modifier(Modifier::Bold));
    buffer.set_style(Rect{3, 2, 10, 10},
                     Style{}.with_bg(Color::Blue).with_modifier(Modifier::Italic));

    EXPECT_EQ(buffer.cell(2, 1).fg, Color::Red);
    EXPECT_EQ(buffer.cell(4, 1).fg, Color::Reset);
    const Cell& both = buffer.cell(3, 2);
    EXPECT_EQ(both.fg, Color::Red);
    EXPECT_EQ(both.bg, Color::Blue);
    EXPECT_EQ(both.modifier, Modifier::Bold | Modifier::Italic);
    EXPECT_EQ(buffer.cell(5, 3).bg, Color::Blue);
    EXPECT_EQ(buffer.cell(2, 3).bg, Color::Reset);
}

TEST(Buffer, ResetAndResizeBlankEveryCell) {
    Buffer buffer(Rect{0, 0, 3, 2});
    buffer.set_stringn(0, 1, "abc", 3, Style::foreground(Color::Yellow));
    buffer.reset();
    EXPECT_EQ(lines(buffer), (Lines{"   ", "   "}));
    EXPECT_EQ(buffer.cell(1, 1), Cell{});
    buffer.resize(Rect{0, 0, 2, 1});
    EXPECT_EQ(buffer.area(), (Rect{0, 0, 2, 1}));
    EXPECT_EQ(lines(buffer), Lines{"  "});
    buffer.resize(Rect{});
    EXPECT_TRUE(lines(buffer).empty());
}

TEST(Buffer, ASymbolKeepsUpToFiveCodePointsAndComparesByItsText) {
    Buffer buffer(Rect{0, 0, 3, 1});
    // A base with six combining marks: the cell keeps the base and four of them.
    buffer.set_stringn(0, 0, "e\xCC\x81\xCC\x82\xCC\x83\xCC\x84\xCC\x85\xCC\x86x", 3, Style{});
    EXPECT_EQ(buffer.cell(0, 0).symbol, "e\xCC\x81\xCC\x82\xCC\x83\xCC\x84");
    EXPECT_EQ(buffer.cell(1, 0).symbol, "x");

    // A cell written over compares equal to one that never held more.
    buffer.set_stringn(0, 0, "a", 1, Style{});
    EXPECT_EQ(buffer.cell(0, 0), (Cell{.symbol = Symbol("a")}));
    buffer.reset();
    EXPECT_EQ(buffer.cell(0, 0), Cell{});
}

// A terminal that shows what the updates put on it, as the backend would.
struct Screen {
    explicit Screen(Rect area) : shown(area) {}
    void apply(const std::vector<CellUpdate>& updates) {
        for (const CellUpdate& update : updates) {
            shown.cell(update.x, update.y) = *update.cell;
            if (update.wide) {
                shown.cell(static_cast<std::uint16_t>(update.x + 1), update.y).symbol.clear();
            }
        }
    }
    Buffer shown;
};

TEST(Diff, SendsTheChangedCellsAndKeepsWideCharactersWhole) {
    struct Case {
        const char* name;
        const char* before;
        const char* after;
        Style style;
        std::vector<std::uint16_t> sent;  // columns of the updates, in order
        int restyled = -1;                // a column made red afterwards
    };
    const Case cases[] = {
        {"unchanged", "abcd", "abcd", {}, {}},
        {"one cell", "abcd", "abXd", {}, {2}},
        {"a style alone", "abcd", "abcd", Style::foreground(Color::Red), {0, 1, 2, 3}},
        {"a wide character appears", "abcd", "a界d", {}, {1}},
        {"the cell it covers changes", "a界d", "a界d", {}, {1}, 2},
        {"it goes", "a界d", "abcd", {}, {1, 2}},
        {"it moves right", "界cd", "a界d", {}, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer before(Rect{2, 1, 4, 1});
        Buffer after(Rect{2, 1, 4, 1});
        before.set_stringn(2, 1, c.before, 4, Style{});
        after.set_stringn(2, 1, c.after, 4, c.style);
        if (c.restyled >= 0) {
            after.set_style(Rect{static_cast<std::uint16_t>(2 + c.restyled), 1, 1, 1},
                            Style::foreground(Color::Red));
        }
        std::vector<CellUpdate> updates{{0, 0, nullptr, false}};
        diff(before, after, false, updates);
        std::vector<std::uint16_t> sent;
        for (const CellUpdate& update : updates) {
            EXPECT_EQ(update.y, 1);
            EXPECT_EQ(update.cell, &after.cell(update.x, 1));
            EXPECT_EQ(update.wide, after.cell(update.x, 1).symbol == "界");
            sent.push_back(static_cast<std::uint16_t>(update.x - 2));
        }
        EXPECT_EQ(sent, c.sent);

        Screen screen(before.area());
        diff(before, before, true, updates);
        screen.apply(updates);
        diff(before, after, false, updates);
        screen.apply(updates);
        EXPECT_EQ(lines(screen.shown), lines(after));
    }
}

TEST(Diff, EverythingSendsEveryCellNotCoveredByAWideOne) {
    Buffer blank(Rect{});
    Buffer frame(Rect{0, 0, 3, 2});
    frame.set_stringn(0, 1, "界", 3, Style{});
    std::vector<CellUpdate> updates;
    diff(blank, frame, true, updates);
    std::vector<std::pair<int, int>> sent;
    for (const CellUpdate& update : updates) {
        sent.emplace_back(update.x, update.y);
    }
    EXPECT_EQ(sent, (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {2, 1}}));
}

}  // namespace
}  // namespace vireo::tui
