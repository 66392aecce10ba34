#include "tui/ncurses_backend.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "pseudo_terminal.hpp"
#include "tui/terminal.hpp"

namespace vireo::tui {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A terminal over the ncurses backend on a 20x5 pseudo-terminal, with TERM as given (unset when
// none).
struct Screen {
    explicit Screen(std::optional<std::string> term = "xterm-256color") {
        if (term) {
            ::setenv("TERM", term->c_str(), 1);
        } else {
            ::unsetenv("TERM");
        }
        auto backend = open_ncurses_backend(pty.fd());
        if (backend) {
            terminal.emplace(std::move(*backend));
        } else {
            ADD_FAILURE() << display(backend.error());
        }
    }
    // The bytes the terminal received while `frame` was drawn.
    std::string draw(const std::function<void(Buffer&)>& frame) {
        pty.settle();
        const std::size_t before = pty.received();
        EXPECT_TRUE(terminal->draw(frame));
        pty.settle();
        return pty.output().substr(before);
    }

    test::PseudoTerminal pty{20, 5};
    std::optional<Terminal> terminal;
};

TEST(NcursesBackend, DrawsUtf8CellsAndColoursOnAPseudoTerminal) {
    Screen screen;
    ASSERT_TRUE(screen.terminal);
    const std::string out = screen.draw([](Buffer& buffer) {
        EXPECT_EQ(buffer.area(), (Rect{0, 0, 20, 5}));
        buffer.set_stringn(0, 0, "┌─┐", 3, Style::foreground(Color::Red));
        buffer.set_stringn(2, 2, "界x", 10, Style{});
        buffer.set_stringn(0, 4, "\x1B]0;title\x07", 20, Style{});
    });
    EXPECT_TRUE(contains(out, "┌─┐"));
    EXPECT_TRUE(contains(out, "界x"));
    EXPECT_TRUE(contains(out, "\x1B[31m")) << "red foreground";
    // Text cannot send its own control sequences.
    EXPECT_FALSE(contains(out, "\x1B]0;"));
    EXPECT_TRUE(contains(out, "]0;title"));
}

TEST(NcursesBackend, SendsOnlyWhatChangedAndNothingForAnUnchangedFrame) {
    Screen screen;
    ASSERT_TRUE(screen.terminal);
    const auto frame = [](std::string_view last_row) {
        return [last_row](Buffer& buffer) {
            buffer.set_stringn(0, 0, "Vireo version", 20, Style::foreground(Color::White));
            buffer.set_stringn(0, 4, last_row, 20, Style{});
        };
    };
    EXPECT_TRUE(contains(screen.draw(frame("idle")), "Vireo version"));
    EXPECT_EQ(screen.draw(frame("idle")), "");
    const std::string changed = screen.draw(frame("idLe"));
    EXPECT_TRUE(contains(changed, "L")) << changed;
    EXPECT_FALSE(contains(changed, "Vireo")) << changed;
    EXPECT_FALSE(contains(changed, "id")) << changed;
}

TEST(NcursesBackend, StartsWithStandardSequencesOnAnyTerminalType) {
    const auto first_frame = [](const std::optional<std::string>& type) {
        Screen screen(type);
        if (!screen.terminal) {
            return std::string();
        }
        return screen.draw([](Buffer& buffer) { buffer.set_stringn(3, 2, "hello", 5, Style{}); });
    };
    const std::string xterm = first_frame("xterm-256color");
    ASSERT_TRUE(contains(xterm, "\x1B[?1049h")) << xterm;
    ASSERT_TRUE(contains(xterm, "hello")) << xterm;

    // An entry that is missing or cannot address the cursor gives way to xterm's; a usable one
    // is kept.
    struct Case {
        std::optional<std::string> type;
        bool as_xterm;
    };
    const Case cases[] = {
        {std::nullopt, true},       {"", true},        {"dumb", true},
        {"no-such-terminal", true}, {"screen", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type.value_or("(unset)"));
        const std::string out = first_frame(c.type);
        if (c.as_xterm) {
            EXPECT_EQ(out, xterm);
        } else {
            EXPECT_NE(out, xterm);
            EXPECT_TRUE(contains(out, "\x1B[")) << out;
            EXPECT_TRUE(contains(out, "hello")) << out;
        }
    }
}

TEST(NcursesBackend, ReportsTheSystemsErrorWhenTheTerminalIsGone) {
    Screen screen;
    ASSERT_TRUE(screen.terminal);
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

}  // namespace
}  // namespace vireo::tui
