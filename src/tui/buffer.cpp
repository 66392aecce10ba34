#include "tui/buffer.hpp"

namespace vireo::tui {

void Cell::set_style(const Style& style) {
    if (style.fg) {
        fg = *style.fg;
    }
    if (style.bg) {
        bg = *style.bg;
    }
    modifier |= style.add_modifier;
}

Buffer::Buffer(Rect area) : area_(area), cells_(area.area()) {}
const Cell& Buffer::cell(std::uint16_t x, std::uint16_t y) const {
    return cells_[index_of(x, y)];
}
Cell& Buffer::cell(std::uint16_t x, std::uint16_t y) {
    return cells_[index_of(x, y)];
}
std::uint16_t Buffer::set_stringn(std::uint16_t x, std::uint16_t, std::string_view, std::size_t,
                                  const Style&) {
    return x;
}
void Buffer::set_style(Rect, const Style&) {}
void Buffer::resize(Rect area) {
    area_ = area;
    cells_.assign(area.area(), Cell{});
}
void Buffer::reset() {
    cells_.assign(area_.area(), Cell{});
}
std::vector<std::string> Buffer::lines() const {
    return {};
}
std::size_t Buffer::index_of(std::uint16_t x, std::uint16_t y) const {
    return std::size_t{static_cast<std::uint16_t>(y - area_.y)} * area_.width + (x - area_.x);
}
void Buffer::release_wide(std::uint16_t, std::uint16_t) {}

}  // namespace vireo::tui
