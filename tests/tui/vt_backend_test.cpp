#include "tui/vt_backend.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vterm.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.hpp"
#include "pseudo_terminal.hpp"
#include "random_frames.hpp"
#include "tui/terminal.hpp"
#include "widget_checks.hpp"

namespace vireo::tui {
namespace {

// A terminal over the VT backend on a pseudo-terminal of the given size.
struct Screen {
    Screen(std::uint16_t columns, std::uint16_t rows) : pty(columns, rows) {
        terminal.emplace(make_vt_backend(pty.fd()));
    }
    // The bytes the terminal received while `frame` was drawn.
    std::string draw(const std::function<void(Buffer&)>& frame) {
        pty.sync();
        const std::size_t before = pty.received();
        EXPECT_TRUE(terminal->draw(frame));
        pty.sync();
        return pty.output().substr(before);
    }

    vireo::test::PseudoTerminal pty;
    std::optional<Terminal> terminal;
};

Style style(Color fg, Color bg = Color::Reset, Modifier modifier = Modifier::None) {
    Style s = Style::foreground(fg).with_bg(bg);
    s.add_modifier = modifier;
    return s;
}

TEST(VtBackend, WritesRunsOfCellsWithMovesAndStylesOnlyWhereNeeded) {
    Screen screen(6, 2);
    ASSERT_GE(screen.pty.fd(), 0);
    const auto frame = [](std::string_view top_third, std::string_view bottom_fourth) {
        return [=](Buffer& buffer) {
            buffer.set_stringn(0, 0, "ab", 6, Style{});
            buffer.set_stringn(2, 0, top_third, 6, Style::foreground(Color::Red));
            buffer.set_stringn(0, 1, "界", 6, style(Color::White, Color::Blue, Modifier::Bold));
            buffer.set_stringn(2, 1, "e\u0301", 6, Style{});
            buffer.set_stringn(3, 1, bottom_fourth, 6,
                               style(Color::Reset, Color::Reset, Modifier::Italic));
        };
    };
    // The first frame: a known pen, a cleared screen, then every cell; one move per row, none
    // after the wide symbol, which leaves the cursor two columns on.
    EXPECT_EQ(screen.draw(frame("c", "x")),
              "\x1b[0m\x1b[2J"
              "\x1b[1;1Hab\x1b[31mc\x1b[39m   "
              "\x1b[2;1H\x1b[1;97;44m界\x1b[22;39;49me\u0301\x1b[3mx\x1b[23m  "
              "\x1b[?25l");
    EXPECT_EQ(screen.draw(frame("c", "x")), "") << "an unchanged frame writes nothing";
    // Only the changed cells, each style from the one before, and the default pen at the end.
    EXPECT_EQ(screen.draw(frame("C", "y")), "\x1b[1;3H\x1b[31mC\x1b[2;4H\x1b[3;39my\x1b[0m");
    // Adjacent changed cells make one run.
    EXPECT_EQ(screen.draw(frame("XY", "y")), "\x1b[1;3H\x1b[31mXY\x1b[0m");
}

TEST(VtBackend, NamedColoursAsStandardSgrParameters) {
    struct Case {
        Color color;
        const char* foreground;
        const char* background;
    };
    const Case cases[] = {
        {Color::Black, "30", "40"},  {Color::Red, "31", "41"},  {Color::Yellow, "33", "43"},
        {Color::Blue, "34", "44"},   {Color::Gray, "37", "47"}, {Color::DarkGray, "90", "100"},
        {Color::White, "97", "107"},
    };
    Screen screen(static_cast<std::uint16_t>(std::size(cases) + 1), 1);
    ASSERT_GE(screen.pty.fd(), 0);
    std::string expected = "\x1b[0m\x1b[2J\x1b[1;1H";
    for (const Case& c : cases) {
        expected += std::string("\x1b[") + c.foreground + ";" + c.background + "mx";
    }
    // Back to the terminal's own colours.
    expected += "\x1b[39;49m \x1b[?25l";
    EXPECT_EQ(screen.draw([&](Buffer& buffer) {
        for (std::uint16_t x = 0; x < std::size(cases); ++x) {
            buffer.set_stringn(x, 0, "x", 1, style(cases[x].color, cases[x].color));
        }
    }),
              expected);
}

TEST(VtBackend, TextCannotSendControlSequences) {
    Screen screen(12, 1);
    ASSERT_GE(screen.pty.fd(), 0);
    const std::string out = screen.draw(
        [](Buffer& buffer) { buffer.set_stringn(0, 0, "\x1b]0;title\x07", 12, Style{}); });
    EXPECT_EQ(out, "\x1b[0m\x1b[2J\x1b[1;1H\uFFFD]0;title\uFFFD  \x1b[?25l");
}

TEST(VtBackend, ALostScreenIsClearedBeforeTheWholeFrame) {
    Screen screen(4, 2);
    ASSERT_GE(screen.pty.fd(), 0);
    const auto frame = [](Buffer& buffer) { buffer.set_stringn(0, 1, "ok", 4, Style{}); };
    screen.draw(frame);
    screen.pty.resize(3, 1);
    EXPECT_EQ(screen.draw(frame), "\x1b[0m\x1b[2J\x1b[1;1H   ");
    screen.pty.resize(4, 2);
    EXPECT_EQ(screen.draw(frame), "\x1b[0m\x1b[2J\x1b[1;1H    \x1b[2;1Hok  ");
    // The shell gets its own colours back before it gets the cursor.
    screen.pty.sync();
    const std::size_t before = screen.pty.received();
    ASSERT_TRUE(screen.terminal->show_cursor());
    screen.pty.sync();
    EXPECT_EQ(screen.pty.output().substr(before), "\x1b[0m\x1b[?25h");
}

// Nothing is read from the environment: every terminal type and locale gets the same bytes.
TEST(VtBackend, WritesTheSameBytesWhateverTermAndLocaleSay) {
    struct Variable {
        const char* name;
        std::optional<std::string> saved;
    };
    Variable variables[] = {{"TERM", {}}, {"LANG", {}}, {"LC_ALL", {}}};
    for (Variable& v : variables) {
        if (const char* value = std::getenv(v.name)) {
            v.saved = value;
        }
    }
    const auto first_frame = [] {
        Screen screen(10, 2);
        return screen.draw([](Buffer& buffer) {
            buffer.set_stringn(0, 0, "┌─界é", 10, Style::foreground(Color::DarkGray));
            buffer.set_stringn(0, 1, "hello", 10, style(Color::White, Color::Blue));
        });
    };
    const std::string reference = first_frame();
    ASSERT_NE(reference.find("┌─界é"), std::string::npos) << reference;

    struct Case {
        std::optional<std::string> term;
        std::optional<std::string> locale;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
        {"dumb", std::nullopt},
        {"no-such-terminal", std::nullopt},
        {"xterm-256color", "C"},
        {"screen", std::nullopt},
        {"linux", "C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.term.value_or("(unset)") + " " + c.locale.value_or("(unset)"));
        const auto set = [](const char* name, const std::optional<std::string>& value) {
            if (value) {
                ::setenv(name, value->c_str(), 1);
            } else {
                ::unsetenv(name);
            }
        };
        set("TERM", c.term);
        set("LANG", c.locale);
        set("LC_ALL", c.locale);
        EXPECT_EQ(first_frame(), reference);
    }
    for (const Variable& v : variables) {
        if (v.saved) {
            ::setenv(v.name, v.saved->c_str(), 1);
        } else {
            ::unsetenv(v.name);
        }
    }
}

TEST(VtBackend, ReportsTheSystemsErrorWhenTheTerminalIsGone) {
    Screen screen(20, 5);
    ASSERT_GE(screen.pty.fd(), 0);
    screen.draw([](Buffer& buffer) { buffer.set_stringn(0, 0, "up", 2, Style{}); });
    EXPECT_TRUE(screen.terminal->cursor_hidden());
    screen.pty.close_other_side();

    const auto shown = screen.terminal->show_cursor();
    ASSERT_FALSE(shown);
    EXPECT_EQ(display(shown.error()), "Input/output error (os error 5)");
    const auto drawn =
        screen.terminal->draw([](Buffer& buffer) { buffer.set_stringn(0, 0, "down", 4, Style{}); });
    ASSERT_FALSE(drawn);
    EXPECT_EQ(display(drawn.error()), "Input/output error (os error 5)");
}

// A limit on the size of files written (the shell's `ulimit -f`) is no limit on a terminal.
TEST(VtBackend, DrawsWholeFramesUnderAFileSizeLimit) {
    constexpr std::uint16_t columns = 40;
    constexpr std::uint16_t rows = 10;
    const auto frame = [](Buffer& buffer) {
        for (std::uint16_t y = 0; y < rows; ++y) {
            buffer.set_stringn(0, y, "row " + std::to_string(y) + " ──────────────────────────",
                               columns, Style::foreground(y % 2 ? Color::White : Color::DarkGray));
        }
    };
    std::string whole;
    {
        Screen unlimited(columns, rows);
        whole = unlimited.draw(frame);
    }
    ASSERT_GT(whole.size(), 300u);

    Screen screen(columns, rows);
    ASSERT_GE(screen.pty.fd(), 0);
    const std::filesystem::path probe = std::filesystem::temp_directory_path() /
                                        ("vireo-fsize-" + std::to_string(::getpid()) + ".probe");
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{300, 300};
        std::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            ::_exit(2);
        }
        // The limit holds for a file: the same frame would not fit in one.
        std::FILE* file = std::fopen(probe.c_str(), "w");
        const bool limited = file != nullptr &&
                             std::fwrite(whole.data(), 1, whole.size(), file) == whole.size() &&
                             std::fflush(file) != 0;
        if (file != nullptr) {
            std::fclose(file);
        }
        if (!limited) {
            ::_exit(3);
        }
        Terminal terminal(make_vt_backend(screen.pty.fd()));
        const bool drawn = terminal.draw(frame).has_value();
        // Leaves with the cursor hidden, as the frame left it.
        ::_exit(drawn ? 0 : 4);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    std::filesystem::remove(probe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    screen.pty.sync();
    EXPECT_EQ(screen.pty.output(), whole);
}

// An independent terminal emulator fed with what the backend writes.
class Emulator {
  public:
    Emulator(std::uint16_t columns, std::uint16_t rows) : vt_(vterm_new(rows, columns)) {
        vterm_set_utf8(vt_, 1);
        screen_ = vterm_obtain_screen(vt_);
        vterm_screen_reset(screen_, 1);
    }
    ~Emulator() { vterm_free(vt_); }
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    void feed(std::string_view bytes) { vterm_input_write(vt_, bytes.data(), bytes.size()); }
    void resize(std::uint16_t columns, std::uint16_t rows) { vterm_set_size(vt_, rows, columns); }

    // True when the emulator shows the frame cell by cell: symbols, widths, colours, bold and
    // italic.
    ::testing::AssertionResult shows(const Buffer& frame) const {
        int rows = 0;
        int columns = 0;
        vterm_get_size(vt_, &rows, &columns);
        const Rect area = frame.area();
        if (rows != area.height || columns != area.width) {
            return ::testing::AssertionFailure() << "the emulator has another size";
        }
        for (std::uint16_t y = 0; y < area.height; ++y) {
            for (std::uint16_t x = 0; x < area.width; ++x) {
                const Cell& wanted = frame.cell(x, y);
                if (wanted.symbol.empty()) {
                    continue;
                }
                VTermScreenCell seen{};
                vterm_screen_get_cell(screen_, VTermPos{y, x}, &seen);
                std::string text;
                for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && seen.chars[i] != 0; ++i) {
                    char bytes[4];
                    text.append(bytes, encode_utf8(seen.chars[i], bytes));
                }
                const bool wide = x + 1 < area.width && frame.cell(x + 1, y).symbol.empty();
                const auto failure = [&] {
                    return ::testing::AssertionFailure()
                           << "cell (" << x << ", " << y << "): \"" << text << "\" width "
                           << int{seen.width} << ", wanted \"" << wanted.symbol << "\"";
                };
                if (text != wanted.symbol.view() || seen.width != (wide ? 2 : 1)) {
                    return failure();
                }
                if (!same_colour(seen.fg, wanted.fg, true) ||
                    !same_colour(seen.bg, wanted.bg, false)) {
                    return failure() << " in other colours";
                }
                if ((seen.attrs.bold != 0) != contains(wanted.modifier, Modifier::Bold) ||
                    (seen.attrs.italic != 0) != contains(wanted.modifier, Modifier::Italic)) {
                    return failure() << " with other attributes";
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

  private:
    static bool same_colour(const VTermColor& seen, Color wanted, bool foreground) {
        if (wanted == Color::Reset) {
            return foreground ? VTERM_COLOR_IS_DEFAULT_FG(&seen) : VTERM_COLOR_IS_DEFAULT_BG(&seen);
        }
        int index = 0;
        switch (wanted) {
            case Color::Black:
                index = 0;
                break;
            case Color::Red:
                index = 1;
                break;
            case Color::Yellow:
                index = 3;
                break;
            case Color::Blue:
                index = 4;
                break;
            case Color::Gray:
                index = 7;
                break;
            case Color::DarkGray:
                index = 8;
                break;
            case Color::White:
                index = 15;
                break;
            case Color::Reset:
                break;
        }
        return VTERM_COLOR_IS_INDEXED(&seen) && !VTERM_COLOR_IS_DEFAULT_FG(&seen) &&
               !VTERM_COLOR_IS_DEFAULT_BG(&seen) && seen.indexed.idx == index;
    }

    VTerm* vt_;
    VTermScreen* screen_;
};

// Random frames, with resizes after which the emulator's screen holds something else: after
// every frame the emulator shows exactly that frame.
TEST(VtBackend, AnEmulatorAlwaysShowsTheLastFrame) {
    std::uint16_t columns = 12;
    std::uint16_t rows = 4;
    vireo::test::PseudoTerminal pty(columns, rows);
    ASSERT_GE(pty.fd(), 0);
    Terminal terminal(make_vt_backend(pty.fd()));
    Emulator emulator(columns, rows);
    test::RandomFrames frames(20261210);
    for (int frame = 0; frame < 400; ++frame) {
        if (frames.pick(25) == 0) {
            columns = static_cast<std::uint16_t>(1 + frames.pick(14));
            rows = static_cast<std::uint16_t>(1 + frames.pick(5));
            pty.resize(columns, rows);
            emulator.resize(columns, rows);
            // Whatever the terminal made of its old content at the new size, and a pen that
            // is not the default, as a shell may leave it while the program is stopped.
            // (The emulator cannot take a wide symbol that does not fit.)
            emulator.feed("\x1b[1;1Hstale \x1b[41;1mcontent");
        }
        ASSERT_TRUE(terminal.draw([&](Buffer& buffer) { frames.next(buffer); }));
        pty.sync();
        emulator.feed(pty.take_output());
        ASSERT_TRUE(emulator.shows(terminal.buffer())) << "frame " << frame;
    }
}

}  // namespace
}  // namespace vireo::tui
