#pragma once
// The process-wide crash hooks: an uncaught exception (std::terminate) or a fatal signal on any
// thread prints a short crash report on standard error and ends the process with status 7. Code
// that must run first on a crash (restoring the terminal) wraps the hook.

#include <atomic>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "common/error.hpp"
#include "common/error_report.hpp"
#include "common/io_error.hpp"

namespace vireo {

// Why the hooks could not be installed: a second installation, or the system refused a signal
// handler.
struct HookInstallError {
    std::optional<IoError> error;  // none for a second installation
};

// "the crash report hooks are installed already", "cannot install the crash report hooks: {}".
std::string display(const HookInstallError& error);
// AlreadyInstalled, Os(Os { .. })
std::string debug(const HookInstallError& error);
std::optional<ErrorRef> source(const HookInstallError& error);

// Installs the terminate handler and the fatal-signal handlers; once per process.
std::expected<void, ErrorReport> install_error_reports();

// Wraps the crash hook: `prelude` runs before the hook installed so far, preludes added earlier
// included. It may run in signal context, so it should do little and must not lock what the
// crashing code might hold.
void wrap_crash_hook(std::function<void()> prelude);

// Keeps the interface's drawing and a crash on another thread apart: the crash waits for the
// drawing under way to end (a second at most) before the terminal is given back, and drawing
// that would begin after the crash never does (its thread waits for the process to end). So
// nothing is drawn over the user's screen and the crash report.
class TerminalOutputGate {
  public:
    // A gate for the calling thread's drawing, closed by the crash path before the preludes
    // added so far (the terminal's restore) run. The crash path keeps it alive.
    static std::shared_ptr<TerminalOutputGate> install();

    // One stretch of drawing; its constructor does not return once a crash is under way.
    class Stretch {
      public:
        explicit Stretch(TerminalOutputGate& gate) noexcept;
        ~Stretch();
        Stretch(const Stretch&) = delete;
        Stretch& operator=(const Stretch&) = delete;

      private:
        TerminalOutputGate& gate_;
    };

  private:
    TerminalOutputGate() = default;
    void close_for_crash() noexcept;

    std::thread::id drawer_ = std::this_thread::get_id();
    std::atomic<bool> closed_{false};
    std::atomic<bool> drawing_{false};
};

}  // namespace vireo
