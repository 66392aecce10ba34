#include "pseudo_terminal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string_view>
#include <utility>

namespace vireo::test {

PseudoTerminal::PseudoTerminal(std::uint16_t columns, std::uint16_t rows) {
    winsize size{};
    size.ws_col = columns;
    size.ws_row = rows;
    if (::openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) {
        master_ = slave_ = -1;
        return;
    }
    // Bytes pass as they are written, as to a terminal emulator.
    termios raw{};
    if (::tcgetattr(slave_, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
    }
    // A program started on fd() must not hold this side open: closing it would not be seen.
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    reader_ = std::thread([this] { read_other_side(); });
}

PseudoTerminal::~PseudoTerminal() {
    close_other_side();
    if (slave_ >= 0) {
        ::close(slave_);
    }
}

std::string PseudoTerminal::output() const {
    const std::lock_guard lock(mutex_);
    return output_;
}

std::string PseudoTerminal::take_output() {
    const std::lock_guard lock(mutex_);
    return std::exchange(output_, std::string());
}

void PseudoTerminal::settle() const {
    std::size_t seen = 0;
    do {
        seen = received_;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (received_ != seen);
}

void PseudoTerminal::sync() {
    // An application program command: nothing a program under test writes.
    const std::string marker = "\x1b_sync " + std::to_string(++syncs_) + "\x1b\\";
    std::string_view rest = marker;
    while (!rest.empty()) {
        const ssize_t written = ::write(slave_, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    // A reader that has stopped never sees it.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        {
            const std::lock_guard lock(mutex_);
            if (const auto at = output_.find(marker); at != std::string::npos) {
                output_.erase(at, marker.size());
                received_ -= marker.size();
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PseudoTerminal::resize(std::uint16_t columns, std::uint16_t rows) {
    winsize size{};
    size.ws_col = columns;
    size.ws_row = rows;
    ::ioctl(slave_, TIOCSWINSZ, &size);
}

void PseudoTerminal::close_other_side() {
    stop_ = true;
    if (reader_.joinable()) {
        reader_.join();
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void PseudoTerminal::read_other_side() {
    char chunk[65536];
    while (!stop_) {
        pollfd readable{.fd = master_, .events = POLLIN, .revents = 0};
        if (::poll(&readable, 1, 20) <= 0) {
            continue;
        }
        const ssize_t got = ::read(master_, chunk, sizeof chunk);
        if (got > 0) {
            const std::lock_guard lock(mutex_);
            output_.append(chunk, static_cast<std::size_t>(got));
            received_ += static_cast<std::size_t>(got);
        } else if (got == 0 || errno != EINTR) {
            return;
        }
    }
}

}  // namespace vireo::test
