#include "tui/line_gauge.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "widget_checks.hpp"

namespace vireo::tui {
namespace {

LineGauge progress(double ratio) {
    return LineGauge{.label = "Progress:",
                     .ratio = ratio,
                     .filled_style = Style::foreground(Color::Blue),
                     .unfilled_style = Style::foreground(Color::Red)};
}

TEST(LineGauge, FillsFloorOfBarWidthTimesRatio) {
    struct Case {
        double ratio;
        std::uint16_t filled;
    };
    // The bar is 20 cells: 30 minus the label and its blank.
    const Case cases[] = {
        {0.0, 0},    {0.5, 10}, {1.0, 20}, {0.33, 6},
        {0.999, 19}, {-0.5, 0}, {2.0, 20}, {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ratio);
        Buffer buffer(Rect{0, 0, 32, 3});
        const Rect area{1, 1, 30, 1};
        render(progress(c.ratio), area, buffer);
        EXPECT_EQ(test::lines_of(buffer, area), test::Lines{"Progress: ────────────────────"});
        for (std::uint16_t x = 0; x < 20; ++x) {
            const Color expected = x < c.filled ? Color::Blue : Color::Red;
            EXPECT_EQ(buffer.cell(static_cast<std::uint16_t>(11 + x), 1).fg, expected) << x;
        }
        EXPECT_EQ(buffer.cell(10, 1).fg, Color::Reset);
        EXPECT_TRUE(test::untouched_outside(buffer, area));
    }
}

TEST(LineGauge, NarrowAreasShowWhatFits) {
    struct Case {
        std::uint16_t width;
        std::string expected;
    };
    const Case cases[] = {
        {0, ""}, {4, "Prog"}, {9, "Progress:"}, {10, "Progress: "}, {11, "Progress: ─"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        Buffer buffer(Rect{0, 0, 14, 3});
        const Rect area{1, 1, c.width, 2};
        render(progress(1.0), area, buffer);
        if (c.width > 0) {
            EXPECT_EQ(test::lines_of(buffer, Rect{1, 1, c.width, 1}), test::Lines{c.expected});
        }
        EXPECT_TRUE(test::untouched_outside(buffer, area));
    }
}

}  // namespace
}  // namespace vireo::tui
