#include "tui/paragraph.hpp"

#include <gtest/gtest.h>

#include "widget_checks.hpp"

namespace vireo::tui {
namespace {

using test::Lines;

TEST(Paragraph, LaysOutText) {
    struct Case {
        const char* name;
        Paragraph paragraph;
        Rect area;
        Lines expected;
    };
    const Case cases[] = {
        {"no wrap cuts at the right edge", {.text = "hello world"}, {1, 1, 8, 1}, {"hello wo"}},
        {"own line breaks kept", {.text = "ab\ncd\r\nef"}, {1, 1, 4, 3}, {"ab  ", "cd  ", "ef  "}},
        {"lines beyond the height cut", {.text = "a\nb\nc"}, {1, 1, 2, 2}, {"a ", "b "}},
        {"an empty line stays", {.text = "a\n\nb"}, {1, 1, 2, 3}, {"a ", "  ", "b "}},
        {"centred",
         {.text = "ab\nabc", .alignment = Alignment::Center},
         {1, 1, 7, 2},
         {"  ab   ", "  abc  "}},
        {"centred but too long starts at the left",
         {.text = "abcdefgh", .alignment = Alignment::Center},
         {1, 1, 5, 1},
         {"abcde"}},
        {"word wrap",
         {.text = "the quick brown fox", .wrap = Wrap::Trim},
         {1, 1, 10, 3},
         {"the quick ", "brown fox ", "          "}},
        {"wrapped lines lose their leading blanks",
         {.text = "aaaa     bbbb", .wrap = Wrap::Trim},
         {1, 1, 6, 2},
         {"aaaa  ", "bbbb  "}},
        {"first line's indentation trimmed too",
         {.text = "   ab\n  cd", .wrap = Wrap::Trim},
         {1, 1, 4, 2},
         {"ab  ", "cd  "}},
        {"no break at a no-break space",
         {.text = "at 12\u00A0MHz", .wrap = Wrap::Trim},
         {1, 1, 7, 2},
         {"at     ", "12\u00A0MHz "}},
        {"a long word is broken",
         {.text = "ab abcdefghij", .wrap = Wrap::Trim},
         {1, 1, 4, 4},
         {"ab  ", "abcd", "efgh", "ij  "}},
        {"wrap keeps own line breaks",
         {.text = "one two\nthree", .wrap = Wrap::Trim},
         {1, 1, 5, 3},
         {"one  ", "two  ", "three"}},
        {"wrapped and centred",
         {.text = "ab cd ef", .wrap = Wrap::Trim, .alignment = Alignment::Center},
         {1, 1, 6, 2},
         {"ab cd ", "  ef  "}},
        {"wide characters wrap by cells",
         {.text = "\xE7\x95\x8C\xE7\x95\x8C\xE7\x95\x8C", .wrap = Wrap::Trim},
         {1, 1, 5, 2},
         {"\xE7\x95\x8C\xE7\x95\x8C ", "\xE7\x95\x8C   "}},
        {"a wide character in a one-cell line moves on",
         {.text = "\xE7\x95\x8C"
                  "a",
          .wrap = Wrap::Trim},
         {1, 1, 1, 2},
         {" ", "a"}},
        {"in a box",
         {.text = "long text here", .block = Block{.title = "T"}},
         {1, 1, 8, 3},
         {"┌T─────┐", "│long t│", "└──────┘"}},
        {"in a box with one inner row, wrapped",
         {.text = "long text here", .block = Block{}, .wrap = Wrap::Trim},
         {1, 1, 8, 3},
         {"┌──────┐", "│long  │", "└──────┘"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer buffer(Rect{0, 0, 12, 6});
        render(c.paragraph, c.area, buffer);
        EXPECT_EQ(test::lines_of(buffer, c.area), c.expected);
        EXPECT_TRUE(test::untouched_outside(buffer, c.area));
    }
}

TEST(Paragraph, TinyAndZeroAreasDrawNothingOutside) {
    const Paragraph paragraph{
        .text = "some words\nand more", .block = Block{.title = "x"}, .wrap = Wrap::Trim};
    for (const Rect area : {Rect{2, 2, 0, 0}, Rect{2, 2, 1, 1}, Rect{2, 2, 2, 2}, Rect{2, 2, 3, 3},
                            Rect{2, 2, 0, 4}, Rect{9, 4, 5, 5}}) {
        SCOPED_TRACE(testing::Message() << area.width << "x" << area.height);
        Buffer buffer(Rect{0, 0, 10, 6});
        render(paragraph, area, buffer);
        EXPECT_TRUE(test::untouched_outside(buffer, area));
    }
}

TEST(Paragraph, StyleCoversTheWholeAreaBoxIncluded) {
    Buffer buffer(Rect{0, 0, 8, 4});
    const Paragraph paragraph{
        .text = "ab", .style = Style::foreground(Color::Red), .block = Block{.title = "T"}};
    render(paragraph, Rect{0, 0, 8, 3}, buffer);
    for (std::uint16_t y = 0; y < 3; ++y) {
        for (std::uint16_t x = 0; x < 8; ++x) {
            EXPECT_EQ(buffer.cell(x, y).fg, Color::Red) << x << "," << y;
        }
    }
    EXPECT_EQ(buffer.cell(0, 3).fg, Color::Reset);
}

}  // namespace
}  // namespace vireo::tui
