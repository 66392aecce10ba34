#pragma once
// A terminal backend in memory: a fixed size that tests can change, the last frame drawn, and an
// optional failure for the next calls.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <utility>

#include "common/io_error.hpp"
#include "tui/terminal.hpp"

namespace vireo::tui::test {

class TestBackend : public Backend {
  public:
    TestBackend(std::uint16_t width, std::uint16_t height)
        : size_{0, 0, width, height}, buffer_(size_) {}

    std::expected<Rect, IoError> size() override {
        if (failure_) {
            return std::unexpected(*failure_);
        }
        return size_;
    }
    std::expected<void, IoError> draw(const Buffer& buffer) override {
        if (failure_) {
            return std::unexpected(*failure_);
        }
        buffer_ = buffer;
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
    // Every call fails with this error until it is reset to none.
    void set_failure(std::optional<IoError> error) { failure_ = std::move(error); }

    const Buffer& buffer() const { return buffer_; }
    bool cursor_hidden() const { return cursor_hidden_; }
    std::size_t draw_count() const { return draw_count_; }
    std::size_t flush_count() const { return flush_count_; }

  private:
    Rect size_;
    Buffer buffer_;
    bool cursor_hidden_ = false;
    std::size_t draw_count_ = 0;
    std::size_t flush_count_ = 0;
    std::optional<IoError> failure_;
};

}  // namespace vireo::tui::test
