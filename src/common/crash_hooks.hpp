#pragma once
// The process-wide crash hooks: an uncaught exception (std::terminate) or a fatal signal on any
// thread prints a short crash report on standard error and ends the process with status 7. Code
// that must run first on a crash (restoring the terminal) wraps the hook.

#include <expected>
#include <functional>
#include <optional>
#include <string>

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

}  // namespace vireo
