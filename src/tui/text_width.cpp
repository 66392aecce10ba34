#include "tui/text_width.hpp"

namespace vireo::tui {

int char_width(char32_t) {
    return 1;
}
std::size_t display_width(std::string_view utf8) {
    return utf8.size();
}

}  // namespace vireo::tui
