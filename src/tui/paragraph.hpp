#pragma once
// Text in an area, optionally in a box: cut at the right edge or word-wrapped.

#include <optional>
#include <string>

#include "tui/block.hpp"
#include "tui/buffer.hpp"
#include "tui/style.hpp"

namespace vireo::tui {

enum class Alignment { Left, Center };
// None cuts each line at the right edge; Trim wraps at word boundaries (never at a no-break
// space), breaks words longer than a line, and drops the leading blanks of every drawn line.
enum class Wrap { None, Trim };

struct Paragraph {
    // Line breaks ("\n", "\r\n") start a new line.
    std::string text{};
    // Laid over the whole area, box included.
    Style style{};
    std::optional<Block> block{};
    Wrap wrap = Wrap::None;
    // Centred lines start at floor((width - line width) / 2).
    Alignment alignment = Alignment::Left;
};

// Draws the paragraph; lines below the area are not drawn.
void render(const Paragraph& paragraph, Rect area, Buffer& buffer);

}  // namespace vireo::tui
