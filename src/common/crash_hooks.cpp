#include "common/crash_hooks.hpp"

#include <atomic>
#include <exception>

#include "platform/crash.hpp"

namespace vireo {

namespace {

constexpr int CRASH_STATUS = 7;
// How long a crash waits for the drawing under way; a terminal that takes no output (a stalled
// pane) must not keep the report back for ever.
constexpr int MAX_DRAWING_WAIT_MS = 1000;

struct Prelude {
    std::function<void()> run;
    const Prelude* next;
};

std::atomic<bool> g_installed{false};
// Newest first. Nodes are never freed: a crash may walk the list at any moment.
std::atomic<const Prelude*> g_preludes{nullptr};
std::atomic<bool> g_crashing{false};
thread_local bool t_crashing = false;

// Lets one crash through. A crash inside the crash path of the same thread ends the process at
// once; one on another thread waits for the first to finish and end the process.
void enter_crash() noexcept {
    if (t_crashing) {
        platform::exit_immediately(CRASH_STATUS);
    }
    t_crashing = true;
    if (g_crashing.exchange(true)) {
        platform::block_forever();
    }
}

void run_preludes() noexcept {
    for (const Prelude* p = g_preludes.load(); p != nullptr; p = p->next) {
        try {
            p->run();
        } catch (...) {
            // A failing prelude must not keep the report from being written.
        }
    }
}

[[noreturn]] void on_terminate() noexcept {
    enter_crash();
    run_preludes();
    platform::write_stderr("The application crashed: ");
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            platform::write_stderr("uncaught exception: ");
            platform::write_stderr(e.what());
        } catch (...) {
            platform::write_stderr("uncaught exception of an unknown type");
        }
    } else {
        platform::write_stderr("terminate called without an exception");
    }
    platform::write_stderr("\n");
    platform::exit_immediately(CRASH_STATUS);
}

void on_fatal_signal(const char* signal_name) {
    enter_crash();
    run_preludes();
    platform::write_stderr("The application crashed: fatal signal ");
    platform::write_stderr(signal_name);
    platform::write_stderr("\n");
    platform::exit_immediately(CRASH_STATUS);
}

}  // namespace

std::string display(const HookInstallError& error) {
    if (error.error) {
        return "cannot install the crash report hooks: " + display(*error.error);
    }
    return "the crash report hooks are installed already";
}

std::string debug(const HookInstallError& error) {
    if (error.error) {
        return "Os(" + debug(*error.error) + ")";
    }
    return "AlreadyInstalled";
}

std::optional<ErrorRef> source(const HookInstallError& error) {
    if (error.error) {
        return ErrorRef(*error.error);
    }
    return std::nullopt;
}

std::expected<void, ErrorReport> install_error_reports() {
    if (g_installed.exchange(true)) {
        return std::unexpected(ErrorReport(HookInstallError{}));
    }
    std::set_terminate(on_terminate);
    if (auto installed = platform::install_fatal_signal_handlers(on_fatal_signal); !installed) {
        return std::unexpected(ErrorReport(HookInstallError{installed.error()}));
    }
    return {};
}

void wrap_crash_hook(std::function<void()> prelude) {
    auto* node = new Prelude{std::move(prelude), g_preludes.load()};
    while (!g_preludes.compare_exchange_weak(node->next, node)) {
    }
}

std::shared_ptr<TerminalOutputGate> TerminalOutputGate::install() {
    std::shared_ptr<TerminalOutputGate> gate(new TerminalOutputGate());
    wrap_crash_hook([gate] { gate->close_for_crash(); });
    return gate;
}

// Both flags are sequentially consistent: either the crash sees the drawing under way and waits
// for it, or the drawing sees the gate closed and never starts.
void TerminalOutputGate::close_for_crash() noexcept {
    closed_.store(true);
    // A crash in the drawing itself has nothing to wait for.
    if (std::this_thread::get_id() == drawer_) {
        return;
    }
    for (int waited = 0; drawing_.load() && waited < MAX_DRAWING_WAIT_MS; ++waited) {
        platform::sleep_a_millisecond();
    }
}

TerminalOutputGate::Stretch::Stretch(TerminalOutputGate& gate) noexcept : gate_(gate) {
    gate_.drawing_.store(true);
    if (gate_.closed_.load()) {
        gate_.drawing_.store(false);
        platform::block_forever();
    }
}

TerminalOutputGate::Stretch::~Stretch() {
    gate_.drawing_.store(false);
}

}  // namespace vireo
