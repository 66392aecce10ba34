#pragma once
// Checks shared by the tests that draw into a buffer.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tui/buffer.hpp"

namespace vireo::tui {

// Failure messages show a cell's symbol as its text.
inline std::ostream& operator<<(std::ostream& out, const Symbol& symbol) {
    return out << symbol.view();
}

}  // namespace vireo::tui

namespace vireo::tui::test {

// True when every cell of the buffer outside `area` is still blank and unstyled.
inline ::testing::AssertionResult untouched_outside(const Buffer& buffer, Rect area) {
    const Rect full = buffer.area();
    for (std::uint16_t y = full.y; y < full.bottom(); ++y) {
        for (std::uint16_t x = full.x; x < full.right(); ++x) {
            if (!area.contains(x, y) && buffer.cell(x, y) != Cell{}) {
                return ::testing::AssertionFailure()
                       << "cell (" << x << ", " << y << ") changed to \""
                       << buffer.cell(x, y).symbol << "\"";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// The rows of `area` inside the buffer, as lines of symbols.
inline std::vector<std::string> lines_of(const Buffer& buffer, Rect area) {
    std::vector<std::string> rows;
    for (std::uint16_t y = area.y; y < area.bottom(); ++y) {
        std::string row;
        for (std::uint16_t x = area.x; x < area.right(); ++x) {
            row += buffer.cell(x, y).symbol;
        }
        rows.push_back(row);
    }
    return rows;
}

// Every row of the buffer, as lines of symbols.
inline std::vector<std::string> lines(const Buffer& buffer) {
    return lines_of(buffer, buffer.area());
}

using Lines = std::vector<std::string>;

}  // namespace vireo::tui::test
