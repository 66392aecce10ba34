#include "pseudo_terminal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace vireo::test {

PseudoTerminal::PseudoTerminal(std::uint16_t columns, std::uint16_t rows) {
    winsize size{};
    size.ws_col = columns;
    size.ws_row = rows;
    if (::openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) {
        master_ = slave_ = -1;
        return;
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

void PseudoTerminal::settle() const {
    std::size_t seen = 0;
    do {
        seen = received_;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (received_ != seen);
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
