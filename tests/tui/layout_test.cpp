#include "tui/layout.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace vireo::tui {
namespace {

using C = Constraint;

std::vector<std::uint16_t> sizes(const std::vector<Rect>& parts, Direction direction) {
    std::vector<std::uint16_t> out;
    for (const Rect& part : parts) {
        out.push_back(direction == Direction::Vertical ? part.height : part.width);
    }
    return out;
}

TEST(Layout, AllocatesByConstraint) {
    struct Case {
        const char* name;
        std::uint16_t total;
        std::vector<Constraint> constraints;
        std::vector<std::uint16_t> expected;
    };
    const std::vector<Constraint> columns{C::Min(7), C::Percentage(90), C::Min(7)};
    const std::vector<Constraint> rows{C::Length(1), C::Length(3), C::Length(1), C::Min(10),
                                       C::Length(1)};
    const Case cases[] = {
        {"leftover shared by the Min parts", 200, columns, {10, 180, 10}},
        {"odd leftover goes to the last Min first", 201, columns, {10, 180, 11}},
        {"Percentage gives way to Min", 80, columns, {7, 66, 7}},
        {"Percentage 100 gives way entirely",
         14,
         {C::Min(7), C::Percentage(100), C::Min(7)},
         {7, 0, 7}},
        {"then Min gives way, from the last", 10, columns, {7, 0, 3}},
        {"zero space", 0, columns, {0, 0, 0}},
        {"rows: the Min row grows", 24, rows, {1, 3, 1, 18, 1}},
        {"rows: Lengths shrink before the Min row, from the last", 14, rows, {1, 3, 0, 10, 0}},
        {"rows: a tiny area", 3, rows, {0, 0, 0, 3, 0}},
        {"halves of an odd width: the last takes the rest",
         81,
         {C::Percentage(50), C::Percentage(50)},
         {40, 41}},
        {"quarters",
         10,
         {C::Percentage(25), C::Percentage(25), C::Percentage(25), C::Percentage(25)},
         {2, 2, 2, 4}},
        {"Min(0) takes the leftover", 12, {C::Length(3), C::Min(0), C::Length(1)}, {3, 8, 1}},
        {"Percentage above 100 counts as 100", 10, {C::Percentage(250)}, {10}},
        {"Lengths alone: the last takes the rest", 10, {C::Length(2), C::Length(3)}, {2, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Direction direction : {Direction::Horizontal, Direction::Vertical}) {
            const Rect area = direction == Direction::Horizontal ? Rect{3, 2, c.total, 5}
                                                                 : Rect{3, 2, 5, c.total};
            const std::vector<Rect> parts = split(area, direction, c.constraints);
            ASSERT_EQ(parts.size(), c.constraints.size());
            EXPECT_EQ(sizes(parts, direction), c.expected);
        }
    }
}

TEST(Layout, PartsTileTheAreaInOrderWithoutGapsOrOverlap) {
    const std::vector<Constraint> constraints{C::Length(1), C::Percentage(30), C::Min(2),
                                              C::Length(4), C::Min(1)};
    for (std::uint16_t total = 0; total < 40; ++total) {
        SCOPED_TRACE(total);
        const Rect area{5, 7, total, 3};
        const std::vector<Rect> columns = split(area, Direction::Horizontal, constraints);
        std::uint32_t x = area.x;
        for (const Rect& part : columns) {
            EXPECT_EQ(part.x, x);
            EXPECT_EQ(part.y, area.y);
            EXPECT_EQ(part.height, area.height);
            x += part.width;
        }
        EXPECT_EQ(x, area.right());
    }
}

TEST(Layout, NoConstraintsGiveNoParts) {
    EXPECT_TRUE(split(Rect{0, 0, 10, 10}, Direction::Vertical, std::vector<Constraint>{}).empty());
}

}  // namespace
}  // namespace vireo::tui
