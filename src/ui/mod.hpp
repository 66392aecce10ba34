#pragma once
// The full-screen interface loop: one frame per turn, keys acted on by the current screen, and
// the start of the one run on a worker thread.

#include <cstdint>
#include <expected>
#include <memory>
#include <string>

#include "common/error_report.hpp"
#include "config/config.hpp"
#include "tui/input.hpp"
#include "tui/terminal.hpp"
#include "ui/state.hpp"
#include "ui/ui_error.hpp"

namespace vireo {

inline constexpr std::string_view BANNER = "Vireo version 0.1.3-rc.2";

// Runs the interface on the terminal, which it owns and releases when it returns, with keys from
// standard input. Success when the user leaves; an error report when the terminal or a screen
// fails.
std::expected<void, ErrorReport> run_ui(UiState& state, std::unique_ptr<tui::Terminal> terminal);
// The same with keys from `input`.
std::expected<void, ErrorReport> run_ui(UiState& state, std::unique_ptr<tui::Terminal> terminal,
                                        tui::InputSource& input);

// Acts on one key by the current screen; a failed action goes to the failure screen.
void handle_key(UiState& state, const tui::KeyEvent& key);

// Looks at the run while scanning: its result or failure moves the interface on.
void poll_scan(UiState& state);

// The run's configuration: the loaded one with the selected port and rate and the four fields.
Config config_from_ui(const UiState& state, std::string port, std::uint32_t baudrate);

// Checks and saves the run's configuration and starts the worker; the interface is then
// Scanning.
std::expected<void, UiError> start_scan(UiState& state);

}  // namespace vireo
