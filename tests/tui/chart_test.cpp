#include "tui/chart.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "widget_checks.hpp"

namespace vireo::tui {
namespace {

using test::Lines;
using test::lines;

// The chart of the tests: x from 0 to 15, y from -10 to 10, Yellow points on Gray axes.
Chart chart_of(std::span<const Point> points) {
    Dataset dataset = Dataset::of(points);
    dataset.style = Style::foreground(Color::Yellow);
    return Chart{.dataset = dataset,
                 .x_axis = Axis{{0.0, 15.0}, {"0", "7", "15"}, Style::foreground(Color::Gray)},
                 .y_axis = Axis{{-10.0, 10.0}, {"-10", "0", "10"}, Style::foreground(Color::Gray)},
                 .style = Style{}};
}

const double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

TEST(Chart, PlotsPointsInsideTheBoundsWithAxesAndLabels) {
    const std::vector<Point> points{{0, -10}, {15, 10}, {7.5, 0},          {16, 0},
                                    {5, 11},  {-1, 0},  {NOT_A_NUMBER, 0}, {3, NOT_A_NUMBER}};
    Buffer buffer(Rect{0, 0, 22, 10});
    const Rect area{1, 1, 20, 8};
    render(chart_of(points), area, buffer);

    EXPECT_EQ(test::lines_of(buffer, area), (Lines{
                                                "10 │               •",
                                                "   │                ",
                                                "   │                ",
                                                "0  │       •        ",
                                                "   │                ",
                                                "-10│•               ",
                                                "   └────────────────",
                                                "   0       7      15",
                                            }));
    EXPECT_TRUE(test::untouched_outside(buffer, area));
    for (const auto& [x, y] : {std::pair{5, 6}, std::pair{20, 1}, std::pair{12, 4}}) {
        EXPECT_EQ(buffer.cell(x, y).fg, Color::Yellow) << x << "," << y;
    }
    for (const auto& [x, y] : {std::pair{4, 1}, std::pair{4, 7}, std::pair{10, 7}, std::pair{1, 6},
                               std::pair{4, 8}, std::pair{20, 8}}) {
        EXPECT_EQ(buffer.cell(x, y).fg, Color::Gray) << x << "," << y;
    }
    EXPECT_EQ(buffer.cell(6, 3).fg, Color::Reset);
}

TEST(Chart, LabelsThatWouldTouchAreLeftOut) {
    struct Case {
        const char* name;
        Rect area;
        Lines expected;
    };
    const Case cases[] = {
        {"middle x label left out", {0, 0, 8, 4}, {"10 │    ", "-10│    ", "   └────", "   0  15"}},
        {"only the first x label fits", {0, 0, 6, 3}, {"-10│  ", "   └──", "   0  "}},
        {"one plot row keeps the first y label",
         {0, 0, 12, 3},
         {"-10│        ", "   └────────", "   0   7  15"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer buffer(c.area);
        render(chart_of({}), c.area, buffer);
        EXPECT_EQ(lines(buffer), c.expected);
    }
}

TEST(Chart, TinyAndZeroAreasDrawNothingOutside) {
    const std::vector<Point> points{{0, -10}, {15, 10}, {7.5, 0}};
    for (const Rect area : {Rect{2, 2, 0, 0}, Rect{2, 2, 1, 1}, Rect{2, 2, 5, 2}, Rect{2, 2, 4, 3},
                            Rect{2, 2, 5, 3}, Rect{2, 2, 1, 9}, Rect{2, 2, 30, 3}}) {
        SCOPED_TRACE(testing::Message() << area.width << "x" << area.height);
        Buffer buffer(Rect{0, 0, 34, 12});
        ChartCache cache;
        render(chart_of(points), area, buffer, cache);
        EXPECT_TRUE(test::untouched_outside(buffer, area));
    }
}

TEST(Chart, DegenerateBoundsDrawNoStrayPoints) {
    struct Case {
        const char* name;
        std::array<double, 2> x_bounds;
        std::size_t plotted;
    };
    const Case cases[] = {
        {"reversed bounds plot nothing", {15.0, 0.0}, 0},
        {"a single x value plots at the start", {5.0, 5.0}, 1},
        {"infinite bounds keep points in the area",
         {0.0, std::numeric_limits<double>::infinity()},
         2},
    };
    const std::vector<Point> points{{5, 0}, {10, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Chart chart = chart_of(points);
        chart.x_axis.bounds = c.x_bounds;
        Buffer buffer(Rect{0, 0, 22, 10});
        const Rect area{1, 1, 20, 8};
        render(chart, area, buffer);
        std::size_t plotted = 0;
        for (std::uint16_t y = 0; y < 10; ++y) {
            for (std::uint16_t x = 0; x < 22; ++x) {
                plotted += buffer.cell(x, y).symbol == "•" ? 1 : 0;
            }
        }
        EXPECT_LE(plotted, c.plotted);
        EXPECT_GE(plotted, std::min<std::size_t>(c.plotted, 1));
        EXPECT_TRUE(test::untouched_outside(buffer, area));
    }
}

struct Sample {
    double frequency;
    double level;
};

TEST(Chart, CacheMapsAgainOnlyWhenAreaBoundsOrDataChange) {
    std::vector<Sample> samples{{0, -10}};
    const auto dataset_of = [](const std::vector<Sample>& items) {
        return Dataset::of(std::span<const Sample>(items), [](const Sample& s) {
            return Point{s.frequency, s.level};
        });
    };
    Chart chart = chart_of({});
    chart.dataset = dataset_of(samples);
    ChartCache cache;
    const auto point_at = [&](Rect area) {
        Buffer buffer(Rect{0, 0, 22, 10});
        render(chart, area, buffer, cache);
        std::vector<std::pair<int, int>> found;
        for (std::uint16_t y = 0; y < 10; ++y) {
            for (std::uint16_t x = 0; x < 22; ++x) {
                if (buffer.cell(x, y).symbol == "•") {
                    found.emplace_back(x, y);
                }
            }
        }
        return found;
    };
    using Found = std::vector<std::pair<int, int>>;
    const Rect area{1, 1, 20, 8};
    EXPECT_EQ(point_at(area), (Found{{5, 6}}));

    // Changed in place: the cache still holds the old cells until cleared.
    samples[0] = {15, 10};
    EXPECT_EQ(point_at(area), (Found{{5, 6}}));
    cache.clear();
    EXPECT_EQ(point_at(area), (Found{{20, 1}}));

    EXPECT_EQ(point_at(Rect{0, 0, 20, 8}), (Found{{19, 0}}));
    chart.x_axis.bounds = {0.0, 30.0};
    EXPECT_EQ(point_at(Rect{0, 0, 20, 8}), (Found{{11, 0}}));
    samples.push_back({0, -10});
    chart.dataset = dataset_of(samples);
    EXPECT_EQ(point_at(Rect{0, 0, 20, 8}), (Found{{11, 0}, {4, 5}}));
}

}  // namespace
}  // namespace vireo::tui
