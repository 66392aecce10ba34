#include "tui/layout.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
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
        {"the Percentage edge rounds, then the Min parts share the rest",
         201,
         columns,
         {10, 181, 10}},
        {"odd leftover goes to the last Min first", 210, columns, {10, 189, 11}},
        {"a half cell rounds up, leaving nothing for the Min parts", 145, columns, {7, 131, 7}},
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
        {"halves of an odd width: the middle edge rounds up",
         81,
         {C::Percentage(50), C::Percentage(50)},
         {41, 40}},
        {"quarters of 66: the spare cells alternate",
         66,
         {C::Percentage(25), C::Percentage(25), C::Percentage(25), C::Percentage(25)},
         {17, 16, 17, 16}},
        {"quarters of 10",
         10,
         {C::Percentage(25), C::Percentage(25), C::Percentage(25), C::Percentage(25)},
         {3, 2, 3, 2}},
        {"Percentages short of the whole: the last takes the rest",
         15,
         {C::Percentage(30), C::Percentage(30)},
         {5, 10}},
        {"a Percentage after a Length rounds from its exact edge",
         9,
         {C::Length(3), C::Percentage(50), C::Length(1)},
         {3, 5, 1}},
        {"Percentages beyond the whole are rounded down",
         10,
         {C::Percentage(55), C::Percentage(55)},
         {5, 5}},
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

// Percentages that make up the whole are never more than a fraction of a cell off their exact
// share, whatever the total: no part collects the cells the others' fractions leave over.
TEST(Layout, PercentagesOfTheWholeStayWithinACellOfTheirShare) {
    const std::vector<std::vector<Constraint>> splits{
        {C::Percentage(25), C::Percentage(25), C::Percentage(25), C::Percentage(25)},
        {C::Percentage(50), C::Percentage(50)},
        {C::Percentage(33), C::Percentage(33), C::Percentage(34)},
        {C::Percentage(10), C::Percentage(20), C::Percentage(30), C::Percentage(40)},
    };
    for (const auto& constraints : splits) {
        for (std::uint16_t total = 0; total <= 300; ++total) {
            SCOPED_TRACE(testing::Message() << constraints.size() << " parts of " << total);
            const auto parts = split(Rect{0, 0, total, 1}, Direction::Horizontal, constraints);
            for (std::size_t i = 0; i < parts.size(); ++i) {
                const long exact = long{total} * constraints[i].value;  // in hundredths
                ASSERT_LT(std::abs(long{parts[i].width} * 100 - exact), 100) << "part " << i;
            }
        }
    }
}

TEST(Layout, NoConstraintsGiveNoParts) {
    EXPECT_TRUE(split(Rect{0, 0, 10, 10}, Direction::Vertical, std::vector<Constraint>{}).empty());
}

}  // namespace
}  // namespace vireo::tui
