#include "tui/list.hpp"

namespace vireo::tui {

void render(const List&, Rect, Buffer&, ListState&) {}

}  // namespace vireo::tui
