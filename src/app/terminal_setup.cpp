#include "app/terminal_setup.hpp"

#include <unistd.h>

#include <cstdio>
#include <string>

#include <fmt/format.h>

#include "common/crash_hooks.hpp"
#include "platform/terminal.hpp"
#include "platform/terminal_size.hpp"
#include "tui/vt_backend.hpp"

namespace vireo {

std::expected<std::unique_ptr<tui::Terminal>, IoError> init_terminal() {
    wrap_crash_hook([] { platform::restore_terminal_after_crash(); });

    const auto fail = [](IoError error) -> std::expected<std::unique_ptr<tui::Terminal>, IoError> {
        restore_terminal();
        return std::unexpected(std::move(error));
    };
    if (auto raw = platform::enable_raw_mode(); !raw) {
        return fail(std::move(raw.error()));
    }
    if (auto entered = platform::enter_alternate_screen(); !entered) {
        return fail(std::move(entered.error()));
    }
    if (auto size = platform::terminal_size(STDOUT_FILENO); !size) {
        return fail(std::move(size.error()));
    }
    if (auto handled = platform::restore_terminal_on_termination_signals(); !handled) {
        return fail(std::move(handled.error()));
    }
    if (auto handled = platform::give_terminal_back_while_stopped(); !handled) {
        return fail(std::move(handled.error()));
    }
    return std::make_unique<tui::Terminal>(tui::make_vt_backend(STDOUT_FILENO));
}

void restore_terminal() {
    auto restored = platform::disable_raw_mode();
    if (restored) {
        restored = platform::leave_alternate_screen();
    }
    if (!restored) {
        const std::string line =
            fmt::format("Failed to restore terminal: {}\n", display(restored.error()));
        // Nothing else can be done about a failure to write it.
        (void)std::fwrite(line.data(), 1, line.size(), stderr);
        (void)std::fflush(stderr);
    }
}

}  // namespace vireo
