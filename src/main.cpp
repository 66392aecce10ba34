// The program's entry: start-up in a fixed order, the interface loop once, teardown.

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "app/app_error.hpp"
#include "app/terminal_setup.hpp"
#include "common/crash_hooks.hpp"
#include "config/load.hpp"
#include "logging/logging_setup.hpp"
#include "platform/process.hpp"
#include "ui/mod.hpp"
#include "ui/port_list.hpp"
#include "ui/state.hpp"

namespace vireo {

namespace {

std::expected<void, AppError> main(std::string_view argv0) {
    // Standard error may be a pipe whose reader has gone: every writer handles the failed
    // write, which the signal would otherwise turn into the end of the process.
    platform::ignore_broken_pipe_signal();
    if (auto installed = install_error_reports(); !installed) {
        return std::unexpected(AppError(AppError::Terminal{std::move(installed.error())}));
    }
    // The log is the only file written while the interface is up; past a size limit its writes
    // should fail rather than end the process.
    platform::ignore_file_size_limit_signal();

    auto config_path = resolve_config_path();
    auto config = load_config(config_path);
    if (!config) {
        return std::unexpected(AppError(AppError::Config{std::move(config.error())}));
    }
    auto logger = logging::init_logging(config->logging, argv0);
    if (!logger) {
        return std::unexpected(AppError(AppError::Logger{std::move(logger.error())}));
    }
    auto ports = list_ports(*config);
    if (!ports) {
        return std::unexpected(AppError(AppError::Port{std::move(ports.error())}));
    }
    auto terminal = init_terminal();
    if (!terminal) {
        return std::unexpected(AppError(AppError::Io{std::move(terminal.error())}));
    }

    std::expected<void, AppError> result;
    {
        UiState state =
            build_ui_state(std::move(*config), std::move(config_path), std::move(*ports));
        if (auto ran = run_ui(state, std::move(*terminal)); !ran) {
            result = std::unexpected(AppError(AppError::Terminal{std::move(ran.error())}));
        }
    }
    restore_terminal();
    // The logger handle is released last, on the way out.
    return result;
}

int process_entry(std::string_view argv0) {
    auto result = main(argv0);
    if (result) {
        return 0;
    }
    const std::string line = fmt::format("Error: {}\n", debug(result.error()));
    // Nothing else can be done about a failure to write it.
    (void)std::fwrite(line.data(), 1, line.size(), stderr);
    (void)std::fflush(stderr);
    return 1;
}

}  // namespace

}  // namespace vireo

int main(int argc, char** argv) {
    return vireo::process_entry(argc > 0 ? argv[0] : "");
}
