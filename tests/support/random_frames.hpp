#pragma once
// Frames as a running program makes them, for tests that check a terminal shows the last frame:
// mostly small changes to the frame before, now and then a fresh one; narrow, wide and combining
// symbols in random colours and attributes.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>

#include "tui/buffer.hpp"

namespace vireo::tui::test {

class RandomFrames {
  public:
    explicit RandomFrames(std::uint32_t seed) : random_(seed) {}

    // A number in 0..n-1.
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(random_() % n); }

    // Draws the next frame into `buffer`, a blank one at the terminal's size.
    void next(Buffer& buffer) {
        static constexpr const char* PIECES[] = {
            "a", "b", " ", "界", "é", "e\u0301", "a\u0300\u0301", "─", "•", "😀",
        };
        static constexpr Color COLOURS[] = {Color::Reset,    Color::Black, Color::Red,
                                            Color::Yellow,   Color::Blue,  Color::Gray,
                                            Color::DarkGray, Color::White};
        static constexpr Modifier MODIFIERS[] = {Modifier::None, Modifier::Bold, Modifier::Italic,
                                                 Modifier::Bold | Modifier::Italic};
        if (pick(4) != 0 && last_.area() == buffer.area()) {
            buffer = last_;
        }
        const Rect area = buffer.area();
        for (std::size_t n = pick(4); n > 0; --n) {
            std::string text;
            for (std::size_t k = 1 + pick(4); k > 0; --k) {
                text += PIECES[pick(std::size(PIECES))];
            }
            Style style = Style::foreground(COLOURS[pick(std::size(COLOURS))])
                              .with_bg(COLOURS[pick(std::size(COLOURS))])
                              .with_modifier(MODIFIERS[pick(std::size(MODIFIERS))]);
            buffer.set_stringn(static_cast<std::uint16_t>(pick(area.width)),
                               static_cast<std::uint16_t>(pick(area.height)), text, 10, style);
        }
        last_ = buffer;
    }

  private:
    std::mt19937 random_;
    Buffer last_{Rect{}};
};

}  // namespace vireo::tui::test
