#include "tui/vt_backend.hpp"

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/terminal.hpp"
#include "platform/terminal_size.hpp"
#include "tui/color_map.hpp"

namespace vireo::tui {

namespace {

constexpr std::string_view CLEAR_SCREEN = "\x1b[2J";
constexpr std::string_view HIDE_CURSOR = "\x1b[?25l";
constexpr std::string_view SHOW_CURSOR = "\x1b[?25h";
constexpr std::string_view RESET_STYLE = "\x1b[0m";
// For a terminal that reports no size (0 by 0), as a terminal starts.
constexpr Rect DEFAULT_SIZE{0, 0, 80, 24};

constexpr std::uint8_t bits(Modifier modifier) {
    return static_cast<std::uint8_t>(modifier);
}

// The style the terminal draws new characters with.
struct Pen {
    Color fg = Color::Reset;
    Color bg = Color::Reset;
    Modifier modifier = Modifier::None;

    friend constexpr bool operator==(const Pen&, const Pen&) = default;
};

void append_number(std::string& out, unsigned value) {
    char digits[10];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// CSI row;column H, both counted from 1.
void append_move(std::string& out, std::uint16_t x, std::uint16_t y) {
    out += "\x1b[";
    append_number(out, unsigned{y} + 1);
    out += ';';
    append_number(out, unsigned{x} + 1);
    out += 'H';
}

// One SGR sequence that takes the pen from `from` to `to`, naming only what changes.
void append_style(std::string& out, const Pen& from, const Pen& to) {
    out += "\x1b[";
    bool first = true;
    const auto parameter = [&](int value) {
        if (!first) {
            out += ';';
        }
        first = false;
        append_number(out, static_cast<unsigned>(value));
    };
    const auto removed = static_cast<std::uint8_t>(bits(from.modifier) & ~bits(to.modifier));
    const auto added = static_cast<std::uint8_t>(bits(to.modifier) & ~bits(from.modifier));
    if (removed & bits(Modifier::Bold)) {
        parameter(22);
    }
    if (removed & bits(Modifier::Italic)) {
        parameter(23);
    }
    if (added & bits(Modifier::Bold)) {
        parameter(1);
    }
    if (added & bits(Modifier::Italic)) {
        parameter(3);
    }
    if (to.fg != from.fg) {
        parameter(sgr_foreground(to.fg));
    }
    if (to.bg != from.bg) {
        parameter(sgr_background(to.bg));
    }
    out += 'm';
}

class VtBackend final : public Backend {
  public:
    explicit VtBackend(int output_fd) : fd_(output_fd) {}

    std::expected<Rect, IoError> size() override {
        const auto real = platform::terminal_size(fd_);
        if (!real) {
            return std::unexpected(real.error());
        }
        // Before the first size the screen is empty: any size is a new one.
        Rect size = size_.is_empty() ? DEFAULT_SIZE : size_;
        if (real->columns > 0 && real->rows > 0) {
            size = Rect{0, 0, real->columns, real->rows};
        }
        if (size != size_) {
            // A terminal of a new size may have moved or dropped what it showed.
            size_ = size;
            lost_ = true;
        }
        return size_;
    }

    bool take_screen_lost() override {
        // Back from a stop, the terminal shows whatever the shell left.
        const bool lost = platform::take_repaint_request() || std::exchange(lost_, false);
        clear_ = clear_ || lost;
        return lost;
    }

    std::expected<void, IoError> draw(std::span<const CellUpdate> updates) override {
        // A lost screen may come with a pen the shell left. The screen is cleared with the
        // default pen, so that it has the terminal's own colours.
        const bool clear = std::exchange(clear_, false);
        if (!pen_known_ || clear) {
            pending_ += RESET_STYLE;
            pen_ = Pen{};
            pen_known_ = true;
        }
        if (clear) {
            pending_ += CLEAR_SCREEN;
        }
        // Where the cursor is when the frame starts is not known: the last frame may be followed
        // by a stop, the shell, and a continue.
        bool at_known = false;
        std::uint16_t at_x = 0;
        std::uint16_t at_y = 0;
        for (const CellUpdate& update : updates) {
            if (update.x >= size_.width || update.y >= size_.height) {
                continue;
            }
            if (!at_known || update.x != at_x || update.y != at_y) {
                append_move(pending_, update.x, update.y);
            }
            const Cell& cell = *update.cell;
            const Pen pen{cell.fg, cell.bg, cell.modifier};
            if (pen != pen_) {
                append_style(pending_, pen_, pen);
                pen_ = pen;
            }
            pending_ += cell.symbol.view();
            // After the last column the cursor stays there (or wraps): the next cell moves it.
            at_known = true;
            at_x = static_cast<std::uint16_t>(update.x + (update.wide ? 2 : 1));
            at_y = update.y;
        }
        // Between frames the terminal keeps its default colours, whatever comes in between.
        if (pen_ != Pen{}) {
            pending_ += RESET_STYLE;
            pen_ = Pen{};
        }
        return {};
    }

    std::expected<void, IoError> hide_cursor() override {
        pending_ += HIDE_CURSOR;
        return {};
    }

    std::expected<void, IoError> show_cursor() override {
        // The shell gets its own colours back, whatever a failed frame left.
        pending_ += RESET_STYLE;
        pending_ += SHOW_CURSOR;
        pen_ = Pen{};
        pen_known_ = true;
        return {};
    }

    std::expected<void, IoError> flush() override {
        // An unchanged frame asks nothing of the system.
        if (pending_.empty()) {
            return {};
        }
        auto written = platform::write_to_terminal(fd_, pending_);
        pending_.clear();
        if (!written) {
            // Part of it may have gone out: the next frame goes out whole, on a cleared screen
            // and from a known pen.
            pen_known_ = false;
            clear_ = true;
        }
        return written;
    }

  private:
    int fd_;
    // Empty until the first size is read; never empty after.
    Rect size_;
    // The screen lost what it showed: the terminal must be told, and the next draw clears it.
    bool lost_ = false;
    bool clear_ = false;
    // The pen the terminal has after what was sent and what is pending; at the start it is
    // whatever the shell left.
    Pen pen_;
    bool pen_known_ = false;
    // The bytes for the next flush.
    std::string pending_;
};

}  // namespace

std::unique_ptr<Backend> make_vt_backend(int output_fd) {
    return std::make_unique<VtBackend>(output_fd);
}

}  // namespace vireo::tui
