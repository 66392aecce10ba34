#include "tui/ncurses_backend.hpp"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tui/terminal.hpp"

namespace vireo::tui {
namespace {

// Runs `draw` in a child whose standard input and output are a 20x5 pseudo-terminal; returns
// the bytes the terminal received and the child's exit status.
struct PtyRun {
    std::string output;
    int status = -1;
};

PtyRun run_in_pty(int (*child)()) {
    std::fflush(nullptr);
    winsize size{};
    size.ws_row = 5;
    size.ws_col = 20;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        ::setenv("TERM", "xterm-256color", 1);
        ::_exit(child());
    }
    PtyRun run;
    if (pid < 0) {
        return run;
    }
    char chunk[4096];
    while (true) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 10000) <= 0) {
            break;
        }
        const ssize_t got = ::read(master, chunk, sizeof chunk);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            break;
        }
        run.output.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(master);
    ::waitpid(pid, &run.status, 0);
    return run;
}

int draw_one_frame() {
    auto backend = open_ncurses_backend();
    if (!backend) {
        return 3;
    }
    Terminal terminal(std::move(*backend));
    const auto drawn = terminal.draw([](Buffer& buffer) {
        if (buffer.area() != Rect{0, 0, 20, 5}) {
            std::_Exit(4);
        }
        buffer.set_stringn(0, 0, "┌─┐", 3, Style::foreground(Color::Red));
        buffer.set_stringn(2, 2, "界x", 10, Style{});
        buffer.set_stringn(0, 4, "\x1B]0;title\x07", 20, Style{});
    });
    return drawn ? 0 : 5;
}

TEST(NcursesBackend, DrawsUtf8CellsAndColoursOnAPseudoTerminal) {
    const PtyRun run = run_in_pty(draw_one_frame);
    ASSERT_TRUE(WIFEXITED(run.status)) << run.status;
    ASSERT_EQ(WEXITSTATUS(run.status), 0);
    EXPECT_NE(run.output.find("┌─┐"), std::string::npos);
    EXPECT_NE(run.output.find("界x"), std::string::npos);
    EXPECT_NE(run.output.find("\x1B[31m"), std::string::npos) << "red foreground";
    // Text cannot send its own control sequences.
    EXPECT_EQ(run.output.find("\x1B]0;"), std::string::npos);
    EXPECT_NE(run.output.find("]0;title"), std::string::npos);
}

}  // namespace
}  // namespace vireo::tui
