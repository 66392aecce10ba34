#pragma once
// Splits an area into consecutive rows or columns by constraints.
//
// The allocator, in one pass and without a solver:
// 1. Each constraint asks for an exact size: Length(n) and Min(n) n cells, Percentage(p)
//    total * p / 100 cells with its fraction kept (p above 100 counts as 100).
// 2. When the exact sizes fit in the total, the parts are laid end to end at their exact sizes
//    and each edge is rounded to the nearest cell, a half away from zero, so the cells that the
//    fractions leave over are spread along the parts (four Percentage(25) of 66 cells are
//    17/16/17/16). The whole cells still left over go to the Min constraints, shared equally;
//    the remainder of the sharing goes one cell each to the last Min constraints. Without a Min
//    constraint the last constraint takes them.
// 3. When the exact sizes do not fit, each Percentage is rounded down instead. What is left over
//    then goes as in 2; when these sizes still exceed the total, space is taken back first from
//    the Percentage constraints, then from the Length constraints, then from the Min
//    constraints; within each kind from the last constraint backwards, each down to zero.
// The parts follow each other without gaps from the area's start, never overlap, never reach
// outside the area and span its full extent in the other direction. No constraints, no parts.

#include <cstdint>
#include <span>
#include <vector>

#include "tui/buffer.hpp"

namespace vireo::tui {

struct Constraint {
    enum class Kind { Length, Min, Percentage };
    Kind kind;
    std::uint16_t value;

    // Exactly n cells.
    static constexpr Constraint Length(std::uint16_t n) { return Constraint{Kind::Length, n}; }
    // At least n cells, and a share of the space left over.
    static constexpr Constraint Min(std::uint16_t n) { return Constraint{Kind::Min, n}; }
    // p per cent of the total, rounded as described above.
    static constexpr Constraint Percentage(std::uint16_t p) {
        return Constraint{Kind::Percentage, p};
    }

    friend constexpr bool operator==(const Constraint&, const Constraint&) = default;
};

// Vertical splits into rows top to bottom, Horizontal into columns left to right.
enum class Direction { Vertical, Horizontal };

// One rectangle per constraint, in order.
std::vector<Rect> split(Rect area, Direction direction, std::span<const Constraint> constraints);

// Convenience for a braced list of constraints.
inline std::vector<Rect> split(Rect area, Direction direction,
                               std::initializer_list<Constraint> constraints) {
    return split(area, direction,
                 std::span<const Constraint>(constraints.begin(), constraints.size()));
}

}  // namespace vireo::tui
