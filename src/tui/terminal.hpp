#pragma once
// The terminal a frame is drawn to, over a backend that puts cells on a screen.

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

#include "common/io_error.hpp"
#include "tui/buffer.hpp"

namespace vireo::tui {

// Where frames end up: a real terminal or, in tests, memory.
class Backend {
  public:
    virtual ~Backend() = default;
    // The screen's current size, at (0, 0).
    virtual std::expected<Rect, IoError> size() = 0;
    // Puts the buffer's cells on the screen.
    virtual std::expected<void, IoError> draw(const Buffer& buffer) = 0;
    virtual std::expected<void, IoError> hide_cursor() = 0;
    virtual std::expected<void, IoError> show_cursor() = 0;
    // Sends everything still pending.
    virtual std::expected<void, IoError> flush() = 0;
};

class Terminal {
  public:
    explicit Terminal(std::unique_ptr<Backend> backend);
    // Shows the cursor again if a frame hid it; a failure is ignored here.
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Draws one frame: reads the size, resizes the buffer when it changed, blanks it, lets
    // `frame` fill it, sends it to the backend, hides the cursor and flushes.
    std::expected<void, IoError> draw(const std::function<void(Buffer&)>& frame);
    bool cursor_hidden() const { return cursor_hidden_; }
    std::expected<void, IoError> show_cursor();
    std::expected<void, IoError> hide_cursor();

    Backend& backend() { return *backend_; }
    // The last frame drawn.
    const Buffer& buffer() const { return buffer_; }

  private:
    std::unique_ptr<Backend> backend_;
    Buffer buffer_{Rect{}};
    bool cursor_hidden_ = false;
};

}  // namespace vireo::tui
