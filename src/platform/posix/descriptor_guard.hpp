#pragma once
// Pieces the POSIX serial and socket code share.

#include <unistd.h>

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

}  // namespace vireo::platform
