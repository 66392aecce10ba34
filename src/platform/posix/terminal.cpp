#include "platform/terminal.hpp"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string_view>

namespace vireo::platform {

namespace {

constexpr std::string_view ENTER_ALTERNATE_SCREEN = "\x1b[?1049h";
constexpr std::string_view LEAVE_ALTERNATE_SCREEN = "\x1b[?1049l";
constexpr std::string_view SHOW_CURSOR = "\x1b[?25h";
constexpr std::string_view HIDE_CURSOR = "\x1b[?25l";
constexpr std::string_view RESET_STYLE = "\x1b[0m";

// The mode standard input had before raw mode; read by the crash path, so it is a plain object
// published through the flag rather than anything that allocates or locks.
termios g_saved_mode{};
std::atomic<bool> g_mode_saved{false};
// The raw mode last set, put back when the program continues after a stop.
termios g_raw_mode{};
std::atomic<bool> g_raw_set{false};
std::atomic<bool> g_repaint_requested{false};

// Async-signal-safe; leaves errno set when it returns false.
bool write_raw(int fd, std::string_view text) noexcept {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = 0;
            }
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::expected<void, IoError> set_mode(const termios& mode) {
    while (::tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0) {
        if (errno != EINTR) {
            return std::unexpected(IoError::last_os_error());
        }
    }
    return {};
}

constexpr int TERMINATION_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

void on_termination_signal(int signal_number) {
    restore_terminal_after_crash();
    // The default action ends the process once the handler returns, so the parent still sees
    // which signal ended it.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    ::sigemptyset(&default_action.sa_mask);
    ::sigaction(signal_number, &default_action, nullptr);
    ::raise(signal_number);
}

void on_stop_signal(int) {
    const int saved_errno = errno;
    restore_terminal_after_crash();

    // Stop for real: the default action, with the signal let through while this handler runs.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    ::sigemptyset(&default_action.sa_mask);
    struct sigaction ours {};
    ::sigaction(SIGTSTP, &default_action, &ours);
    sigset_t stop;
    ::sigemptyset(&stop);
    ::sigaddset(&stop, SIGTSTP);
    sigset_t before;
    ::pthread_sigmask(SIG_UNBLOCK, &stop, &before);
    ::raise(SIGTSTP);

    // Continued.
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::sigaction(SIGTSTP, &ours, nullptr);
    if (g_raw_set.load()) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_raw_mode);
    }
    write_raw(STDOUT_FILENO, ENTER_ALTERNATE_SCREEN);
    write_raw(STDOUT_FILENO, HIDE_CURSOR);
    g_repaint_requested.store(true);
    errno = saved_errno;
}

}  // namespace

std::expected<void, IoError> enable_raw_mode() {
    termios original{};
    if (::tcgetattr(STDIN_FILENO, &original) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    if (!g_mode_saved.load()) {
        g_saved_mode = original;
        g_mode_saved.store(true);
    }
    termios raw = original;
    ::cfmakeraw(&raw);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    auto set = set_mode(raw);
    if (set) {
        g_raw_set.store(false);
        g_raw_mode = raw;
        g_raw_set.store(true);
    }
    return set;
}

std::expected<void, IoError> disable_raw_mode() {
    if (g_mode_saved.load()) {
        return set_mode(g_saved_mode);
    }
    termios current{};
    if (::tcgetattr(STDIN_FILENO, &current) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

std::expected<void, IoError> write_to_terminal(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written == 0) {
            return std::unexpected(IoError::from_kind(IoErrorKind::WriteZero));
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return std::unexpected(IoError::last_os_error());
        }
        // A terminal left in non-blocking mode: wait until it takes more.
        pollfd writable{.fd = fd, .events = POLLOUT, .revents = 0};
        if (::poll(&writable, 1, -1) < 0 && errno != EINTR) {
            return std::unexpected(IoError::last_os_error());
        }
    }
    return {};
}

std::expected<void, IoError> enter_alternate_screen() {
    return write_to_terminal(STDOUT_FILENO, ENTER_ALTERNATE_SCREEN);
}

std::expected<void, IoError> leave_alternate_screen() {
    return write_to_terminal(STDOUT_FILENO, LEAVE_ALTERNATE_SCREEN);
}

std::expected<bool, IoError> wait_for_input(std::chrono::milliseconds timeout) {
    pollfd watched{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready =
            ::poll(&watched, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(IoError::last_os_error());
        }
        // A hang-up or error counts as ready: the read that follows reports it.
        return ready > 0;
    }
}

std::expected<std::size_t, IoError> read_input(std::span<std::uint8_t> buffer) {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            return std::unexpected(IoError::last_os_error());
        }
    }
}

void restore_terminal_after_crash() noexcept {
    const int saved_errno = errno;
    if (g_mode_saved.load()) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_mode);
    }
    // Failures are ignored: the crash report must follow whatever happens here. A frame cut
    // short may have left its colours on.
    write_raw(STDOUT_FILENO, RESET_STYLE);
    write_raw(STDOUT_FILENO, LEAVE_ALTERNATE_SCREEN);
    write_raw(STDOUT_FILENO, SHOW_CURSOR);
    errno = saved_errno;
}

std::expected<void, IoError> restore_terminal_on_termination_signals() {
    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    ::sigemptyset(&action.sa_mask);
    for (const int signal_number : TERMINATION_SIGNALS) {
        ::sigaddset(&action.sa_mask, signal_number);
    }
    for (const int signal_number : TERMINATION_SIGNALS) {
        if (::sigaction(signal_number, &action, nullptr) != 0) {
            return std::unexpected(IoError::last_os_error());
        }
    }
    return {};
}

std::expected<void, IoError> give_terminal_back_while_stopped() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    ::sigemptyset(&action.sa_mask);
    if (::sigaction(SIGTSTP, &action, nullptr) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

bool take_repaint_request() noexcept {
    return g_repaint_requested.exchange(false);
}

}  // namespace vireo::platform
