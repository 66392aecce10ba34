#pragma once
// The terminal a frame is drawn to, over a backend that puts cells on a screen. It keeps the last
// frame beside the one being drawn and hands the backend only the cells that changed, so an
// unchanged screen writes nothing.

#include <expected>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "common/io_error.hpp"
#include "tui/buffer.hpp"

namespace vireo::tui {

// Where frames end up: a real terminal or, in tests, memory.
class Backend {
  public:
    virtual ~Backend() = default;
    // The screen's current size, at (0, 0).
    virtual std::expected<Rect, IoError> size() = 0;
    // True once after the screen lost what it showed (a new size, or the program was stopped
    // and continued): the next frame must go out whole.
    virtual bool take_screen_lost() = 0;
    // Puts these cells on the screen; the others keep what they show.
    virtual std::expected<void, IoError> draw(std::span<const CellUpdate> updates) = 0;
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

    // Draws one frame: reads the size, lets `frame` fill a blank buffer of that size, sends the
    // cells that differ from the last frame (all of them after a resize or a lost screen), hides
    // the cursor and flushes.
    std::expected<void, IoError> draw(const std::function<void(Buffer&)>& frame);
    bool cursor_hidden() const { return cursor_hidden_; }
    // Shows the cursor at once.
    std::expected<void, IoError> show_cursor();

    // The last frame drawn.
    const Buffer& buffer() const { return buffers_[current_ ^ 1]; }

  private:
    std::unique_ptr<Backend> backend_;
    // The frame being drawn and the last one, which is what the screen shows.
    Buffer buffers_[2] = {Buffer(Rect{}), Buffer(Rect{})};
    std::size_t current_ = 0;
    // The screen's content is not known: the next frame goes out whole.
    bool screen_unknown_ = true;
    std::vector<CellUpdate> updates_;
    bool cursor_hidden_ = false;
};

}  // namespace vireo::tui
