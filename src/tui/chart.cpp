#include "tui/chart.hpp"

#include <algorithm>
#include <cmath>
#include <span>
#include <string_view>

#include "tui/symbols.hpp"
#include "tui/text_width.hpp"

namespace vireo::tui {

namespace {

// Cells from the low end for a value inside [low, high] on an axis of `cells` cells.
std::uint16_t cell_index(double value, double low, double scale, std::uint16_t cells) {
    double offset = (value - low) * scale;
    if (!(offset >= 0.0)) {
        offset = 0.0;
    }
    const double last = static_cast<double>(cells - 1);
    return static_cast<std::uint16_t>(offset < last ? offset : last);
}

// Cells per unit along an axis; a span of zero or one that is not finite maps all to the start.
double scale_of(const std::array<double, 2>& bounds, std::uint16_t cells) {
    const double span = bounds[1] - bounds[0];
    if (!(span > 0.0) || !std::isfinite(span)) {
        return 0.0;
    }
    return static_cast<double>(cells - 1) / span;
}

const std::string* label_at(const Axis& axis, std::size_t index) {
    return index < axis.labels.size() ? &axis.labels[index] : nullptr;
}

void draw_x_labels(const Axis& axis, std::uint16_t start, std::uint16_t end, std::uint16_t row,
                   Buffer& buffer) {
    const std::string* first = label_at(axis, 0);
    const std::string* middle = label_at(axis, 1);
    const std::string* last = label_at(axis, 2);
    if (axis.labels.size() == 2) {
        middle = nullptr;
        last = label_at(axis, 1);
    }
    const std::size_t span = std::size_t{end} - start;
    // Label cells in use run from `start` to `left_end` and from `right_start` to `end`.
    std::size_t left_end = start;
    std::size_t right_start = end;
    if (first != nullptr) {
        left_end = buffer.set_stringn(start, row, *first, span, axis.style);
    }
    if (last != nullptr) {
        const std::size_t width = display_width(*last);
        if (width < span && end - width > left_end) {
            right_start = end - width;
            buffer.set_stringn(static_cast<std::uint16_t>(right_start), row, *last, width,
                               axis.style);
        }
    }
    if (middle != nullptr) {
        const std::size_t width = display_width(*middle);
        const std::size_t centre = start + span / 2;
        const std::size_t begin = centre > start + width / 2 ? centre - width / 2 : start;
        const bool clear_left = begin > left_end || left_end == start;
        const bool clear_right =
            right_start == end ? begin + width <= end : begin + width < right_start;
        if (clear_left && clear_right) {
            buffer.set_stringn(static_cast<std::uint16_t>(begin), row, *middle, width, axis.style);
        }
    }
}

void draw_y_labels(const Axis& axis, std::uint16_t x, std::uint16_t width, Rect plot,
                   Buffer& buffer) {
    const auto bottom = static_cast<std::uint16_t>(plot.bottom() - 1);
    const auto middle_row = static_cast<std::uint16_t>(bottom - (plot.height - 1) / 2);
    std::vector<std::pair<const std::string*, std::uint16_t>> placed;
    if (axis.labels.size() == 2) {
        placed = {{label_at(axis, 0), bottom}, {label_at(axis, 1), plot.y}};
    } else {
        placed = {{label_at(axis, 0), bottom},
                  {label_at(axis, 2), plot.y},
                  {label_at(axis, 1), middle_row}};
    }
    std::vector<std::uint16_t> used_rows;
    for (const auto& [label, row] : placed) {
        if (label == nullptr || std::ranges::find(used_rows, row) != used_rows.end()) {
            continue;
        }
        buffer.set_stringn(x, row, *label, width, axis.style);
        used_rows.push_back(row);
    }
}

}  // namespace

void ChartCache::clear() {
    valid_ = false;
    cells_.clear();
}

void ChartCache::update(const Key& key, const Dataset& dataset) {
    if (valid_ && key == key_) {
        return;
    }
    key_ = key;
    valid_ = true;
    cells_.clear();
    const Rect plot = key.plot;
    if (plot.is_empty() || dataset.point_at_ == nullptr) {
        return;
    }
    const double x_low = key.x_bounds[0];
    const double x_high = key.x_bounds[1];
    const double y_low = key.y_bounds[0];
    const double y_high = key.y_bounds[1];
    const double x_scale = scale_of(key.x_bounds, plot.width);
    const double y_scale = scale_of(key.y_bounds, plot.height);

    std::vector<std::uint8_t> hit(plot.area(), 0);
    for (std::size_t i = 0; i < key.count; ++i) {
        const Point point = dataset.point(i);
        if (!(point.x >= x_low && point.x <= x_high && point.y >= y_low && point.y <= y_high)) {
            continue;
        }
        const std::uint16_t column = cell_index(point.x, x_low, x_scale, plot.width);
        const std::uint16_t up = cell_index(point.y, y_low, y_scale, plot.height);
        const std::size_t row = plot.height - 1u - up;
        hit[row * plot.width + column] = 1;
    }
    for (std::uint16_t row = 0; row < plot.height; ++row) {
        for (std::uint16_t column = 0; column < plot.width; ++column) {
            if (hit[std::size_t{row} * plot.width + column] != 0) {
                cells_.push_back({column, row});
            }
        }
    }
}

void render(const Chart& chart, Rect area, Buffer& buffer, ChartCache& cache) {
    area = area.intersection(buffer.area());
    if (area.is_empty()) {
        return;
    }
    buffer.set_style(area, chart.style);

    std::size_t label_width = 0;
    for (std::size_t i = 0; i < 3 && i < chart.y_axis.labels.size(); ++i) {
        label_width = std::max(label_width, display_width(chart.y_axis.labels[i]));
    }
    if (area.height < 3 || area.width < label_width + 2) {
        return;
    }
    const auto axis_x = static_cast<std::uint16_t>(area.x + label_width);
    const auto axis_y = static_cast<std::uint16_t>(area.bottom() - 2);
    const Rect plot{static_cast<std::uint16_t>(axis_x + 1), area.y,
                    static_cast<std::uint16_t>(area.right() - axis_x - 1),
                    static_cast<std::uint16_t>(axis_y - area.y)};

    const Dataset& dataset = chart.dataset;
    cache.update(ChartCache::Key{plot, chart.x_axis.bounds, chart.y_axis.bounds, dataset.items_,
                                 dataset.count_, dataset.point_at_},
                 dataset);
    for (const auto& [column, row] : cache.cells_) {
        buffer.set_symbol(static_cast<std::uint16_t>(plot.x + column),
                          static_cast<std::uint16_t>(plot.y + row), symbols::DOT, dataset.style);
    }

    for (std::uint16_t y = area.y; y < axis_y; ++y) {
        buffer.set_symbol(axis_x, y, symbols::VERTICAL, chart.y_axis.style);
    }
    buffer.set_symbol(axis_x, axis_y, symbols::BOTTOM_LEFT, chart.x_axis.style);
    for (std::uint16_t x = plot.x; x < plot.right(); ++x) {
        buffer.set_symbol(x, axis_y, symbols::HORIZONTAL, chart.x_axis.style);
    }
    draw_x_labels(chart.x_axis, axis_x, area.right(), static_cast<std::uint16_t>(axis_y + 1),
                  buffer);
    draw_y_labels(chart.y_axis, area.x, static_cast<std::uint16_t>(label_width), plot, buffer);
}

void render(const Chart& chart, Rect area, Buffer& buffer) {
    ChartCache cache;
    render(chart, area, buffer, cache);
}

}  // namespace vireo::tui
