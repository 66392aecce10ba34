#pragma once
// A terminal backend in memory: a fixed size that tests can change, the screen as the cells sent
// so far make it, and an optional failure for the next calls.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <utility>

#include "common/io_error.hpp"
#include "tui/terminal.hpp"

namespace vireo::tui::test {

class TestBackend : public Backend {
  public:
    TestBackend(std::uint16_t width, std::uint16_t height)
        : size_{0, 0, width, height}, screen_(size_) {}

    std::expected<Rect, IoError> size() override {
        if (failure_) {
            return std::unexpected(*failure_);
        }
        if (size_ != screen_.area()) {
            // A terminal of a new size shows nothing of what it had.
            screen_.resize(size_);
            lost_ = true;
        }
        return size_;
    }
    bool take_screen_lost() override { return std::exchange(lost_, false); }
    std::expected<void, IoError> draw(std::span<const CellUpdate> updates) override {
        if (failure_) {
            return std::unexpected(*failure_);
        }
        for (const CellUpdate& update : updates) {
            screen_.cell(update.x, update.y) = *update.cell;
            if (update.wide) {
                screen_.cell(static_cast<std::uint16_t>(update.x + 1), update.y).symbol.clear();
            }
        }
        last_updates_ = updates.size();
        ++draw_count_;
        return {};
    }
    std::expected<void, IoError> hide_cursor() override {
        if (failure_) {
            return std::unexpected(*failure_);
        }
        cursor_hidden_ = true;
        return {};
    }
    std::expected<void, IoError> show_cursor() override {
        if (failure_) {
            return std::unexpected(*failure_);
        }
        cursor_hidden_ = false;
        return {};
    }
    std::expected<void, IoError> flush() override {
        if (failure_) {
            return std::unexpected(*failure_);
        }
        ++flush_count_;
        return {};
    }

    // The size the next frame gets.
    void resize(std::uint16_t width, std::uint16_t height) { size_ = Rect{0, 0, width, height}; }
    // Makes the screen forget what it shows (as after a stop and continue), blanking it.
    void lose_screen() {
        screen_.reset();
        lost_ = true;
    }
    // Every call fails with this error until it is reset to none.
    void set_failure(std::optional<IoError> error) { failure_ = std::move(error); }

    // What the screen shows.
    const Buffer& buffer() const { return screen_; }
    bool cursor_hidden() const { return cursor_hidden_; }
    // Calls of draw, which come only with cells to send, and the cells the last one sent.
    std::size_t draw_count() const { return draw_count_; }
    std::size_t last_updates() const { return last_updates_; }
    std::size_t flush_count() const { return flush_count_; }

  private:
    Rect size_;
    Buffer screen_;
    bool lost_ = false;
    bool cursor_hidden_ = false;
    std::size_t draw_count_ = 0;
    std::size_t last_updates_ = 0;
    std::size_t flush_count_ = 0;
    std::optional<IoError> failure_;
};

}  // namespace vireo::tui::test
