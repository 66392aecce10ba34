#include "platform/signal_stack.hpp"

#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vireo::platform {

namespace {

// Room for the crash hook and the report it writes; above the system minimum.
constexpr std::size_t STACK_BYTES = 64 * 1024;

}  // namespace

struct ThreadSignalStack::State {
    std::vector<std::uint8_t> memory;
    stack_t previous{};
};

ThreadSignalStack::ThreadSignalStack(std::unique_ptr<State> state) : state_(std::move(state)) {}

ThreadSignalStack::ThreadSignalStack(ThreadSignalStack&& other) noexcept = default;

std::expected<ThreadSignalStack, IoError> ThreadSignalStack::install() {
    auto state = std::make_unique<State>();
    state->memory.resize(std::max(STACK_BYTES, static_cast<std::size_t>(SIGSTKSZ)));
    stack_t stack{};
    stack.ss_sp = state->memory.data();
    stack.ss_size = state->memory.size();
    if (::sigaltstack(&stack, &state->previous) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return ThreadSignalStack(std::move(state));
}

ThreadSignalStack::~ThreadSignalStack() {
    if (!state_) {
        return;
    }
    // Hand the thread back what it had (a sanitizer's own stack, or none) before the memory
    // goes.
    stack_t previous = state_->previous;
    previous.ss_flags &= SS_DISABLE;
    ::sigaltstack(&previous, nullptr);
}

}  // namespace vireo::platform
