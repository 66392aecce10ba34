#pragma once
// Pieces the POSIX serial and socket code share.

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <expected>
#include <utility>

#include "common/io_error.hpp"

namespace vireo::platform {

// Closes a descriptor on every failure path of opening, unless it was handed over.
class DescriptorGuard {
  public:
    explicit DescriptorGuard(int fd) : fd_(fd) {}
    DescriptorGuard(const DescriptorGuard&) = delete;
    DescriptorGuard& operator=(const DescriptorGuard&) = delete;
    ~DescriptorGuard() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// An expired read or write time-out; both back ends say it in the same words.
inline IoError timed_out() {
    return IoError::with_message(IoErrorKind::TimedOut, "Operation timed out");
}

// True when the descriptor has something to read (or has reached its end) within `wait`; a
// signal does not cut the wait short.
inline std::expected<bool, IoError> wait_readable(int fd, std::chrono::milliseconds wait) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int timeout =
            left.count() <= 0 ? 0
                              : (left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count()));
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, timeout);
        if (ready >= 0) {
            return ready > 0;
        }
        if (errno != EINTR) {
            return std::unexpected(IoError::last_os_error());
        }
    }
}

}  // namespace vireo::platform
