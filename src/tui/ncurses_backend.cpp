#include "tui/ncurses_backend.hpp"

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#ifndef _XOPEN_SOURCE_EXTENDED
#define _XOPEN_SOURCE_EXTENDED 1
#endif
#include <curses.h>

#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>
#include <map>
#include <utility>

#include "common/text.hpp"
#include "platform/terminal.hpp"
#include "platform/terminal_size.hpp"
#include "tui/color_map.hpp"

namespace vireo::tui {

namespace {

constexpr std::size_t MAX_CELL_CHARS = 5;

bool codeset_is_utf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
}

// Keeps the environment's character type when it is UTF-8; otherwise C.UTF-8.
bool select_utf8_locale() {
    if (std::setlocale(LC_CTYPE, "") != nullptr && codeset_is_utf8()) {
        return true;
    }
    return std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr && codeset_is_utf8();
}

IoError curses_error(const char* what) {
    return IoError::with_message(IoErrorKind::Other, what);
}

class NcursesBackend final : public Backend {
  public:
    explicit NcursesBackend(SCREEN* screen) : screen_(screen) {
        set_term(screen_);
        // Input waiting on the terminal must not cut a frame short.
        typeahead(-1);
        leaveok(stdscr, TRUE);
        scrollok(stdscr, FALSE);
        if (has_colors() && start_color() == OK) {
            colors_ = COLORS;
            pairs_ = COLOR_PAIRS;
            default_colors_ = use_default_colors() == OK;
        }
        rows_ = LINES;
        columns_ = COLS;
    }

    ~NcursesBackend() override {
        set_term(screen_);
        endwin();
        delscreen(screen_);
    }

    NcursesBackend(const NcursesBackend&) = delete;
    NcursesBackend& operator=(const NcursesBackend&) = delete;

    std::expected<Rect, IoError> size() override {
        int rows = LINES;
        int columns = COLS;
        if (const auto real = platform::terminal_size(STDOUT_FILENO);
            real && real->rows > 0 && real->columns > 0) {
            rows = real->rows;
            columns = real->columns;
        }
        if (rows != rows_ || columns != columns_) {
            if (resizeterm(rows, columns) == ERR) {
                return std::unexpected(curses_error("cannot resize the terminal screen"));
            }
            rows_ = rows;
            columns_ = columns;
        }
        return Rect{0, 0, static_cast<std::uint16_t>(columns), static_cast<std::uint16_t>(rows)};
    }

    std::expected<void, IoError> draw(const Buffer& buffer) override {
        // Back from a stop, the terminal shows whatever the shell left: send every cell again.
        if (platform::take_repaint_request()) {
            clearok(curscr, TRUE);
        }
        const Rect area = buffer.area();
        for (std::uint16_t y = area.y; y < area.bottom() && y < rows_; ++y) {
            for (std::uint16_t x = area.x; x < area.right() && x < columns_; ++x) {
                const Cell& cell = buffer.cell(x, y);
                if (cell.symbol.empty()) {
                    continue;
                }
                const bool wide = x + 1 < area.right() && buffer.cell(x + 1, y).symbol.empty();
                put_cell(x, y, cell, wide);
            }
        }
        if (wnoutrefresh(stdscr) == ERR || doupdate() == ERR) {
            return std::unexpected(curses_error("cannot refresh the terminal screen"));
        }
        return {};
    }

    std::expected<void, IoError> hide_cursor() override {
        // A terminal that cannot hide its cursor still draws.
        curs_set(0);
        return {};
    }

    std::expected<void, IoError> show_cursor() override {
        curs_set(1);
        return {};
    }

    std::expected<void, IoError> flush() override {
        if (std::fflush(stdout) != 0) {
            return std::unexpected(IoError::last_os_error());
        }
        return {};
    }

  private:
    void put_cell(std::uint16_t x, std::uint16_t y, const Cell& cell, bool wide) {
        wchar_t text[MAX_CELL_CHARS + 1] = {};
        std::size_t length = 0;
        std::string_view symbol = cell.symbol;
        while (!symbol.empty() && length < MAX_CELL_CHARS) {
            const DecodedChar decoded = decode_utf8(symbol);
            symbol.remove_prefix(decoded.length);
            text[length++] = static_cast<wchar_t>(decoded.code_point);
        }
        attr_t attributes = A_NORMAL;
        if (contains(cell.modifier, Modifier::Bold)) {
            attributes |= A_BOLD;
        }
        if (contains(cell.modifier, Modifier::Italic)) {
            attributes |= A_ITALIC;
        }
        short pair = 0;
        if (colors_ >= 8) {
            const TerminalColor fg = terminal_color(cell.fg, colors_, true);
            const TerminalColor bg = terminal_color(cell.bg, colors_, false);
            if (fg.bold) {
                attributes |= A_BOLD;
            }
            pair = color_pair(fg.number, bg.number);
        }
        cchar_t glyph{};
        if (setcchar(&glyph, text, attributes, pair, nullptr) == ERR) {
            return;
        }
        // Writing the bottom-right cell reports an error although the cell is set.
        mvwadd_wch(stdscr, y, x, &glyph);
        // A symbol this program counts as two cells but the terminal library as one would
        // leave the next cell stale.
        if (wide && length > 0 && wcwidth(text[0]) < 2 && x + 1 < columns_) {
            wchar_t blank[] = L" ";
            cchar_t filler{};
            if (setcchar(&filler, blank, attributes, pair, nullptr) == OK) {
                mvwadd_wch(stdscr, y, x + 1, &filler);
            }
        }
    }

    // The pair for the colours, allocated on first use; the default pair when none is left.
    short color_pair(short fg, short bg) {
        if (!default_colors_) {
            fg = fg < 0 ? COLOR_WHITE : fg;
            bg = bg < 0 ? COLOR_BLACK : bg;
        }
        const auto key = std::make_pair(fg, bg);
        if (const auto found = pairs_in_use_.find(key); found != pairs_in_use_.end()) {
            return found->second;
        }
        const int next = static_cast<int>(pairs_in_use_.size()) + 1;
        if (next >= pairs_ || next > std::numeric_limits<short>::max() ||
            init_pair(static_cast<short>(next), fg, bg) == ERR) {
            return 0;
        }
        pairs_in_use_.emplace(key, static_cast<short>(next));
        return static_cast<short>(next);
    }

    SCREEN* screen_;
    int colors_ = 0;
    int pairs_ = 0;
    bool default_colors_ = false;
    int rows_ = 0;
    int columns_ = 0;
    std::map<std::pair<short, short>, short> pairs_in_use_;
};

}  // namespace

std::expected<std::unique_ptr<Backend>, IoError> open_ncurses_backend() {
    if (!select_utf8_locale()) {
        return std::unexpected(curses_error("no UTF-8 locale is available for the terminal"));
    }
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        return std::unexpected(curses_error("cannot start the terminal screen"));
    }
    return std::make_unique<NcursesBackend>(screen);
}

}  // namespace vireo::tui
