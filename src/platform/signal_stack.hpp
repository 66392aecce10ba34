#pragma once
// An alternate signal stack for a thread other than the one that installed the crash hooks, so
// a stack overflow on that thread still reaches the crash hook.

#include <cstddef>
#include <expected>
#include <memory>

#include "common/io_error.hpp"

namespace vireo::platform {

// Gives the calling thread its own alternate signal stack for as long as the guard lives; the
// thread's previous setting comes back when it is released. Release it on the same thread.
class ThreadSignalStack {
  public:
    static std::expected<ThreadSignalStack, IoError> install();

    ThreadSignalStack(ThreadSignalStack&& other) noexcept;
    ThreadSignalStack& operator=(ThreadSignalStack&&) = delete;
    ThreadSignalStack(const ThreadSignalStack&) = delete;
    ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;
    ~ThreadSignalStack();

  private:
    struct State;
    explicit ThreadSignalStack(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace vireo::platform
