#include "tui/chart.hpp"

namespace vireo::tui {

void ChartCache::clear() {
    valid_ = false;
}
void ChartCache::update(const Key& key, const Dataset&) {
    key_ = key;
}
void render(const Chart&, Rect, Buffer&, ChartCache&) {}
void render(const Chart& chart, Rect area, Buffer& buffer) {
    ChartCache cache;
    render(chart, area, buffer, cache);
}

}  // namespace vireo::tui
