#include "tui/layout.hpp"

#include <algorithm>
#include <cstddef>
#include <numeric>

namespace vireo::tui {

namespace {

// Exact sizes are counted in hundredths of a cell, so a percentage keeps its fraction.
constexpr std::size_t HUNDREDTHS = 100;

std::size_t exact_size(const Constraint& constraint, std::size_t total) {
    switch (constraint.kind) {
        case Constraint::Kind::Length:
        case Constraint::Kind::Min:
            return constraint.value * HUNDREDTHS;
        case Constraint::Kind::Percentage:
            return total * std::min<std::size_t>(constraint.value, 100);
    }
    return 0;
}

// Whole cells from the exact sizes: each edge rounded from its exact position, a half up (the
// positions are never negative, so that is away from zero).
std::vector<std::size_t> rounded_sizes(const std::vector<std::size_t>& exact) {
    std::vector<std::size_t> sizes;
    sizes.reserve(exact.size());
    std::size_t position = 0;
    std::size_t edge = 0;
    for (const std::size_t size : exact) {
        position += size;
        const std::size_t next = (position + HUNDREDTHS / 2) / HUNDREDTHS;
        sizes.push_back(next - edge);
        edge = next;
    }
    return sizes;
}

// Gives the leftover cells to the Min constraints, or to the last constraint when there is none.
void distribute(std::span<const Constraint> constraints, std::vector<std::size_t>& sizes,
                std::size_t leftover) {
    const auto mins = static_cast<std::size_t>(
        std::count_if(constraints.begin(), constraints.end(),
                      [](const Constraint& c) { return c.kind == Constraint::Kind::Min; }));
    if (mins == 0) {
        sizes.back() += leftover;
        return;
    }
    const std::size_t share = leftover / mins;
    std::size_t extra = leftover % mins;
    for (std::size_t i = constraints.size(); i-- > 0;) {
        if (constraints[i].kind != Constraint::Kind::Min) {
            continue;
        }
        sizes[i] += share;
        if (extra > 0) {
            ++sizes[i];
            --extra;
        }
    }
}

// Takes back `excess` cells: Percentage first, then Length, then Min, each from the last.
void shrink(std::span<const Constraint> constraints, std::vector<std::size_t>& sizes,
            std::size_t excess) {
    for (const Constraint::Kind kind :
         {Constraint::Kind::Percentage, Constraint::Kind::Length, Constraint::Kind::Min}) {
        for (std::size_t i = constraints.size(); i-- > 0 && excess > 0;) {
            if (constraints[i].kind != kind) {
                continue;
            }
            const std::size_t taken = std::min(sizes[i], excess);
            sizes[i] -= taken;
            excess -= taken;
        }
    }
}

}  // namespace

std::vector<Rect> split(Rect area, Direction direction, std::span<const Constraint> constraints) {
    if (constraints.empty()) {
        return {};
    }
    const bool vertical = direction == Direction::Vertical;
    const std::size_t total = vertical ? area.height : area.width;

    std::vector<std::size_t> exact;
    exact.reserve(constraints.size());
    for (const Constraint& constraint : constraints) {
        exact.push_back(exact_size(constraint, total));
    }
    const bool fits =
        std::accumulate(exact.begin(), exact.end(), std::size_t{0}) <= total * HUNDREDTHS;

    std::vector<std::size_t> sizes;
    if (fits) {
        sizes = rounded_sizes(exact);
    } else {
        // Too small for the exact sizes: percentages are rounded down and give way first.
        for (const std::size_t size : exact) {
            sizes.push_back(size / HUNDREDTHS);
        }
    }
    const std::size_t sum = std::accumulate(sizes.begin(), sizes.end(), std::size_t{0});
    if (sum <= total) {
        distribute(constraints, sizes, total - sum);
    } else {
        shrink(constraints, sizes, sum - total);
    }

    std::vector<Rect> parts;
    parts.reserve(sizes.size());
    std::size_t start = vertical ? area.y : area.x;
    for (const std::size_t size : sizes) {
        const auto position = static_cast<std::uint16_t>(start);
        const auto length = static_cast<std::uint16_t>(size);
        parts.push_back(vertical ? Rect{area.x, position, area.width, length}
                                 : Rect{position, area.y, length, area.height});
        start += size;
    }
    return parts;
}

}  // namespace vireo::tui
