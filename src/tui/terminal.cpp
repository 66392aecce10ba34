#include "tui/terminal.hpp"

namespace vireo::tui {

Terminal::Terminal(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}
Terminal::~Terminal() = default;
std::expected<void, IoError> Terminal::draw(const std::function<void(Buffer&)>& frame) {
    frame(buffer_);
    return {};
}
std::expected<void, IoError> Terminal::show_cursor() {
    return {};
}
std::expected<void, IoError> Terminal::hide_cursor() {
    return {};
}

TestBackend::TestBackend(std::uint16_t width, std::uint16_t height)
    : size_{0, 0, width, height}, buffer_(size_) {}
std::expected<Rect, IoError> TestBackend::size() {
    return size_;
}
std::expected<void, IoError> TestBackend::draw(const Buffer& buffer) {
    buffer_ = buffer;
    return {};
}
std::expected<void, IoError> TestBackend::hide_cursor() {
    return {};
}
std::expected<void, IoError> TestBackend::show_cursor() {
    return {};
}
std::expected<void, IoError> TestBackend::flush() {
    return {};
}
void TestBackend::resize(std::uint16_t width, std::uint16_t height) {
    size_ = Rect{0, 0, width, height};
}

}  // namespace vireo::tui
