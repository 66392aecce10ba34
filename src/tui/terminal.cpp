#include "tui/terminal.hpp"

namespace vireo::tui {

Terminal::Terminal(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}

Terminal::~Terminal() {
    if (cursor_hidden_) {
        (void)backend_->show_cursor();
    }
}

std::expected<void, IoError> Terminal::draw(const std::function<void(Buffer&)>& frame) {
    const auto size = backend_->size();
    if (!size) {
        return std::unexpected(size.error());
    }
    if (*size != buffer_.area()) {
        buffer_.resize(*size);
    } else {
        buffer_.reset();
    }
    frame(buffer_);
    if (auto drawn = backend_->draw(buffer_); !drawn) {
        return drawn;
    }
    if (auto hidden = hide_cursor(); !hidden) {
        return hidden;
    }
    return backend_->flush();
}

std::expected<void, IoError> Terminal::show_cursor() {
    auto shown = backend_->show_cursor();
    if (shown) {
        cursor_hidden_ = false;
    }
    return shown;
}

std::expected<void, IoError> Terminal::hide_cursor() {
    auto hidden = backend_->hide_cursor();
    if (hidden) {
        cursor_hidden_ = true;
    }
    return hidden;
}

TestBackend::TestBackend(std::uint16_t width, std::uint16_t height)
    : size_{0, 0, width, height}, buffer_(size_) {}

std::expected<Rect, IoError> TestBackend::size() {
    if (failure_) {
        return std::unexpected(*failure_);
    }
    return size_;
}

std::expected<void, IoError> TestBackend::draw(const Buffer& buffer) {
    if (failure_) {
        return std::unexpected(*failure_);
    }
    buffer_ = buffer;
    ++draw_count_;
    return {};
}

std::expected<void, IoError> TestBackend::hide_cursor() {
    if (failure_) {
        return std::unexpected(*failure_);
    }
    cursor_hidden_ = true;
    return {};
}

std::expected<void, IoError> TestBackend::show_cursor() {
    if (failure_) {
        return std::unexpected(*failure_);
    }
    cursor_hidden_ = false;
    return {};
}

std::expected<void, IoError> TestBackend::flush() {
    if (failure_) {
        return std::unexpected(*failure_);
    }
    ++flush_count_;
    return {};
}

void TestBackend::resize(std::uint16_t width, std::uint16_t height) {
    size_ = Rect{0, 0, width, height};
}

}  // namespace vireo::tui
