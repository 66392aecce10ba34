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

}  // namespace vireo::tui
