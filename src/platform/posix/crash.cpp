#include "platform/crash.hpp"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace vireo::platform {

namespace {

constexpr int FATAL_SIGNALS[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

std::atomic<FatalSignalHandler> g_handler{nullptr};

// The alternate stack of the installing thread; it is never released.
alignas(16) char g_alternate_stack[64 * 1024];

const char* signal_name(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGABRT:
            return "SIGABRT";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        default:
            return "unknown signal";
    }
}

extern "C" void on_fatal_signal(int signal) {
    if (const FatalSignalHandler handler = g_handler.load()) {
        handler(signal_name(signal));
    }
    // No handler, or it returned: die of the signal as if none had been installed.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace

std::expected<void, IoError> install_fatal_signal_handlers(FatalSignalHandler handler) {
    g_handler.store(handler);

    stack_t alternate{};
    alternate.ss_sp = g_alternate_stack;
    alternate.ss_size = sizeof g_alternate_stack;
    if (::sigaltstack(&alternate, nullptr) != 0) {
        return std::unexpected(IoError::last_os_error());
    }

    struct sigaction action {};
    action.sa_handler = on_fatal_signal;
    action.sa_flags = SA_ONSTACK;
    ::sigfillset(&action.sa_mask);
    for (const int signal : FATAL_SIGNALS) {
        if (::sigaction(signal, &action, nullptr) != 0) {
            return std::unexpected(IoError::last_os_error());
        }
    }
    return {};
}

void write_stderr(std::string_view text) noexcept {
    const int saved = errno;
    while (!text.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    errno = saved;
}

void block_forever() noexcept {
    for (;;) {
        ::pause();
    }
}

void sleep_a_millisecond() noexcept {
    const int saved = errno;
    const timespec millisecond{0, 1'000'000};
    ::nanosleep(&millisecond, nullptr);
    errno = saved;
}

void exit_immediately(int status) noexcept {
    ::_exit(status);
}

}  // namespace vireo::platform
