#include "tui/layout.hpp"

#include <algorithm>
#include <cstddef>

namespace vireo::tui {

namespace {

std::size_t base_size(const Constraint& constraint, std::size_t total) {
    switch (constraint.kind) {
        case Constraint::Kind::Length:
        case Constraint::Kind::Min:
            return constraint.value;
        case Constraint::Kind::Percentage:
            return total * std::min<std::size_t>(constraint.value, 100) / 100;
    }
    return 0;
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

    std::vector<std::size_t> sizes;
    sizes.reserve(constraints.size());
    std::size_t sum = 0;
    for (const Constraint& constraint : constraints) {
        sizes.push_back(base_size(constraint, total));
        sum += sizes.back();
    }
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
