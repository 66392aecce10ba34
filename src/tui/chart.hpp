#pragma once
// A scatter chart of one dataset with an x and a y axis.
//
// Layout inside the area:
// - The label column on the left is as wide as the widest y label. The y axis line "│" runs in
//   the column after it, from the top row down to the row above the x axis line.
// - The x axis line "─" runs on the second row from the bottom, from the column after the y axis
//   line to the right edge, with "└" where the two lines meet. The x labels are on the bottom
//   row: the first starts at the corner, the middle is centred between the corner and the right
//   edge, the last ends at the right edge; the middle and last are left out when they would
//   touch a label already drawn.
// - The y labels are left-aligned in the label column: the first on the lowest plot row, the
//   middle on the row where a value halfway between the bounds is plotted, the last on the top
//   row; a label is left out when its row is taken.
// - The plot area is what is left: right of the y axis line and above the x axis line. A point
//   inside the bounds (both ends included) is drawn as "•" in the dataset's style at column
//   floor((x - x min) / (x max - x min) * (plot width - 1)) and the row counted the same way
//   upwards from the plot's bottom row; points outside the bounds or not numbers are left out.
// - An area with fewer than three rows, or too narrow for the label column, the axis line and
//   one plot column, gets the chart's style and nothing else.
// Axis lines and labels take their axis's style (the corner the x axis's); the chart's style is
// laid over the whole area first.

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "tui/buffer.hpp"
#include "tui/style.hpp"

namespace vireo::tui {

struct Chart;
class ChartCache;

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// A view of caller-owned items drawn as points; the items must outlive the dataset.
class Dataset {
  public:
    Dataset() = default;

    // Each item becomes the point `Projection{}(item)`; the projection must be a stateless
    // callable such as a captureless lambda.
    template <typename T, typename Projection>
    requires std::is_empty_v<Projection> && std::default_initializable<Projection> &&
        std::convertible_to<std::invoke_result_t<Projection, const T&>, Point>
    static Dataset of(std::span<const T> items, Projection) {
        Dataset dataset{};
        dataset.items_ = items.data();
        dataset.count_ = items.size();
        dataset.point_at_ = [](const void* items, std::size_t index) -> Point {
            return Projection{}(static_cast<const T*>(items)[index]);
        };
        return dataset;
    }
    // The points themselves.
    static Dataset of(std::span<const Point> points) {
        return of(points, [](const Point& point) { return point; });
    }

    std::size_t size() const { return count_; }
    Point point(std::size_t index) const { return point_at_(items_, index); }
    // Where the items live; together with the size and projection it identifies the data.
    const void* identity() const { return items_; }

    Style style{};

  private:
    friend class ChartCache;
    friend void render(const Chart&, Rect, Buffer&, ChartCache&);

    const void* items_ = nullptr;
    std::size_t count_ = 0;
    Point (*point_at_)(const void*, std::size_t) = nullptr;
};

struct Axis {
    // Lower and upper bound.
    std::array<double, 2> bounds{0.0, 0.0};
    // The first, middle and last label, in that order (with two, the first and last); further
    // ones are ignored.
    std::vector<std::string> labels{};
    Style style{};
};

struct Chart {
    Dataset dataset{};
    Axis x_axis{};
    Axis y_axis{};
    Style style{};
};

// The plot cells of a dataset, kept between frames: the points are mapped again only when the
// plot area, the bounds, or the dataset's items, size or projection change. Items changed in
// place under the same address and size need `clear()`.
class ChartCache {
  public:
    // Forgets the mapped cells.
    void clear();

  private:
    friend void render(const Chart&, Rect, Buffer&, ChartCache&);

    struct Key {
        Rect plot;
        std::array<double, 2> x_bounds{};
        std::array<double, 2> y_bounds{};
        const void* items = nullptr;
        std::size_t count = 0;
        Point (*point_at)(const void*, std::size_t) = nullptr;
        friend bool operator==(const Key&, const Key&) = default;
    };
    // Maps the points unless the key matches the cached one.
    void update(const Key& key, const Dataset& dataset);

    bool valid_ = false;
    Key key_;
    // Plotted cells as offsets from the plot area's corner, each once, row by row.
    std::vector<std::array<std::uint16_t, 2>> cells_;
};

// Draws the chart, mapping the points through `cache`.
void render(const Chart& chart, Rect area, Buffer& buffer, ChartCache& cache);
// Draws the chart, mapping every point anew.
void render(const Chart& chart, Rect area, Buffer& buffer);

}  // namespace vireo::tui
