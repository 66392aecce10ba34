#include "tui/ncurses_backend.hpp"

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#ifndef _XOPEN_SOURCE_EXTENDED
#define _XOPEN_SOURCE_EXTENDED 1
#endif
#include <curses.h>

#include <fcntl.h>
#include <langinfo.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "common/text.hpp"
#include "platform/memory_file.hpp"
#include "platform/terminal.hpp"
#include "platform/terminal_size.hpp"
#include "tui/color_map.hpp"
#include "tui/terminfo.hpp"

namespace vireo::tui {

namespace {

constexpr std::size_t MAX_CELL_CHARS = 5;
// Standard VT/xterm sequences, which every terminal emulator in use understands: the entry for
// a terminal whose own entry is missing or cannot address the cursor.
constexpr const char* FALLBACK_TERMINAL = "xterm-256color";

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

// A curses screen whose output goes to its own descriptor, a duplicate of the terminal's.
struct OpenedScreen {
    SCREEN* screen = nullptr;
    FILE* output = nullptr;
};

// Curses on `output_fd` with the entry `type`; none when the entry is missing or unusable.
OpenedScreen open_screen(int output_fd, const char* type) {
    if (!terminfo_entry_usable(type, output_fd)) {
        return {};
    }
    const int own_fd = ::fcntl(output_fd, F_DUPFD_CLOEXEC, 0);
    if (own_fd < 0) {
        return {};
    }
    FILE* output = ::fdopen(own_fd, "w");
    if (output == nullptr) {
        ::close(own_fd);
        return {};
    }
    // Curses catches a window change to ask its descriptor for the size; that descriptor ends up
    // a memory file, so the size is read from the terminal each frame instead.
    struct sigaction window_change {};
    ::sigaction(SIGWINCH, nullptr, &window_change);
    SCREEN* screen = newterm(type, output, stdin);
    ::sigaction(SIGWINCH, &window_change, nullptr);
    if (screen == nullptr) {
        std::fclose(output);
        return {};
    }
    return {screen, output};
}

class NcursesBackend final : public Backend {
  public:
    NcursesBackend(OpenedScreen opened, platform::MemoryFile capture, int output_fd)
        : screen_(opened.screen),
          output_(opened.output),
          capture_(std::move(capture)),
          output_fd_(output_fd) {
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
        written_ = true;
        // What curses writes on the way out goes to the terminal as before; the caller gives
        // the terminal back and reports its own failures.
        (void)flush();
        delscreen(screen_);
        std::fclose(output_);
    }

    NcursesBackend(const NcursesBackend&) = delete;
    NcursesBackend& operator=(const NcursesBackend&) = delete;

    std::expected<Rect, IoError> size() override {
        int rows = rows_;
        int columns = columns_;
        if (const auto real = platform::terminal_size(output_fd_);
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
            lost_ = true;
        }
        return Rect{0, 0, static_cast<std::uint16_t>(columns), static_cast<std::uint16_t>(rows)};
    }

    bool take_screen_lost() override {
        // Back from a stop, the terminal shows whatever the shell left.
        const bool lost = platform::take_repaint_request() || std::exchange(lost_, false);
        clear_ = clear_ || lost;
        return lost;
    }

    std::expected<void, IoError> draw(std::span<const CellUpdate> updates) override {
        if (clear_) {
            // The terminal's own content is not known: clear it before the cells go out.
            clearok(curscr, TRUE);
            clear_ = false;
        }
        for (const CellUpdate& update : updates) {
            if (update.y < rows_ && update.x < columns_) {
                put_cell(update);
            }
        }
        written_ = true;
        if (wnoutrefresh(stdscr) == ERR || doupdate() == ERR) {
            return std::unexpected(curses_error("cannot refresh the terminal screen"));
        }
        return {};
    }

    std::expected<void, IoError> hide_cursor() override {
        // A terminal that cannot hide its cursor still draws.
        curs_set(0);
        written_ = true;
        return {};
    }

    std::expected<void, IoError> show_cursor() override {
        curs_set(1);
        written_ = true;
        return {};
    }

    std::expected<void, IoError> flush() override {
        // An idle frame asks nothing of the system here.
        if (!std::exchange(written_, false)) {
            return {};
        }
        std::fflush(output_);
        pending_.clear();
        if (auto drained = capture_.drain(pending_); !drained) {
            return drained;
        }
        if (pending_.empty()) {
            return {};
        }
        return platform::write_to_terminal(output_fd_, pending_);
    }

  private:
    void put_cell(const CellUpdate& update) {
        const Cell& cell = *update.cell;
        std::array<wchar_t, MAX_CELL_CHARS + 1> text{};
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
        if (setcchar(&glyph, text.data(), attributes, pair, nullptr) == ERR) {
            return;
        }
        // Writing the bottom-right cell reports an error although the cell is set.
        mvwadd_wch(stdscr, update.y, update.x, &glyph);
        // A symbol this program counts as two cells but the terminal library as one would
        // leave the next cell stale.
        if (update.wide && length > 0 && wcwidth(text[0]) < 2 && update.x + 1 < columns_) {
            wchar_t blank[] = L" ";
            cchar_t filler{};
            if (setcchar(&filler, blank, attributes, pair, nullptr) == OK) {
                mvwadd_wch(stdscr, update.y, update.x + 1, &filler);
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
    FILE* output_;
    // Curses writes here; flush sends it to the terminal and reports what writing it met.
    platform::MemoryFile capture_;
    int output_fd_;
    std::string pending_;
    int colors_ = 0;
    int pairs_ = 0;
    bool default_colors_ = false;
    int rows_ = 0;
    int columns_ = 0;
    // The screen lost its content: the terminal must be told, and the next draw clears it.
    bool lost_ = false;
    bool clear_ = false;
    // Curses may have written since the last flush.
    bool written_ = false;
    std::map<std::pair<short, short>, short> pairs_in_use_;
};

}  // namespace

std::expected<std::unique_ptr<Backend>, IoError> open_ncurses_backend(int output_fd) {
    if (!select_utf8_locale()) {
        return std::unexpected(curses_error("no UTF-8 locale is available for the terminal"));
    }
    auto capture = platform::MemoryFile::create();
    if (!capture) {
        return std::unexpected(std::move(capture.error()));
    }
    const char* type = std::getenv("TERM");
    OpenedScreen opened;
    if (type != nullptr && *type != '\0') {
        opened = open_screen(output_fd, type);
    }
    if (opened.screen == nullptr) {
        opened = open_screen(output_fd, FALLBACK_TERMINAL);
    }
    if (opened.screen == nullptr) {
        return std::unexpected(curses_error("cannot start the terminal screen"));
    }
    if (auto attached = capture->attach(::fileno(opened.output)); !attached) {
        delscreen(opened.screen);
        std::fclose(opened.output);
        return std::unexpected(std::move(attached.error()));
    }
    return std::make_unique<NcursesBackend>(opened, std::move(*capture), output_fd);
}

}  // namespace vireo::tui
