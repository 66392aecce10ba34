#include "tui/terminal.hpp"

namespace vireo::tui {

Terminal::Terminal(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}

Terminal::~Terminal() {
    if (cursor_hidden_) {
        (void)show_cursor();
    }
}

std::expected<void, IoError> Terminal::draw(const std::function<void(Buffer&)>& frame) {
    const auto size = backend_->size();
    if (!size) {
        return std::unexpected(size.error());
    }
    if (backend_->take_screen_lost()) {
        screen_unknown_ = true;
    }
    Buffer& next = buffers_[current_];
    Buffer& previous = buffers_[current_ ^ 1];
    // `next` is blank: made so when the frame before was compared with it.
    if (*size != next.area()) {
        next.resize(*size);
        previous.resize(*size);
        screen_unknown_ = true;
    }
    frame(next);

    diff(previous, next, screen_unknown_, updates_);
    // The frame before is not needed any more; it is blanked for the next frame now, while the
    // comparison has just brought it into the cache.
    previous.reset();
    current_ ^= 1;
    // Until this frame is out, what the screen shows is not known.
    screen_unknown_ = true;
    if (!updates_.empty()) {
        if (auto drawn = backend_->draw(updates_); !drawn) {
            return drawn;
        }
    }
    if (!cursor_hidden_) {
        if (auto hidden = backend_->hide_cursor(); !hidden) {
            return hidden;
        }
        // Sent or not, the cursor may be hidden now: leaving must show it.
        cursor_hidden_ = true;
    }
    if (auto flushed = backend_->flush(); !flushed) {
        return flushed;
    }
    screen_unknown_ = false;
    return {};
}

std::expected<void, IoError> Terminal::show_cursor() {
    auto shown = backend_->show_cursor();
    if (shown) {
        shown = backend_->flush();
    }
    if (shown) {
        cursor_hidden_ = false;
    }
    return shown;
}

}  // namespace vireo::tui
