#include "ui/mod.hpp"

#include <cstdio>
#include <optional>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "acquisition/worker.hpp"
#include "app/app_error.hpp"
#include "common/crash_hooks.hpp"
#include "config/save.hpp"
#include "config/validate.hpp"
#include "platform/signal_stack.hpp"
#include "protocol/acquisition_error.hpp"
#include "protocol/protocol_error.hpp"
#include "scan/scan_request.hpp"
#include "scan/scan_state.hpp"
#include "ui/view.hpp"

namespace vireo {

namespace {

constexpr std::uint64_t HZ_PER_MHZ = 1'000'000;

void print_to_stderr(const std::string& line) {
    // Nothing else can be done about a failure to write it.
    (void)std::fwrite(line.data(), 1, line.size(), stderr);
    (void)std::fflush(stderr);
}

// Shows the cursor again when the interface leaves, whatever way it leaves.
class CursorRestorer {
  public:
    explicit CursorRestorer(tui::Terminal& terminal) : terminal_(terminal) {}
    CursorRestorer(const CursorRestorer&) = delete;
    CursorRestorer& operator=(const CursorRestorer&) = delete;
    ~CursorRestorer() {
        if (!terminal_.cursor_hidden()) {
            return;
        }
        if (auto shown = terminal_.show_cursor(); !shown) {
            print_to_stderr(fmt::format("Failed to show the cursor: {}\n", display(shown.error())));
        }
    }

  private:
    tui::Terminal& terminal_;
};

void fail_action(UiState& state, UiError error) {
    record_failure(state.scan_state, std::move(error));
    state.ui_mode = UiMode::ShowFailure;
}

void confirm_selection(UiState& state) {
    auto port = selected_port(state);
    if (!port) {
        fail_action(state, std::move(port.error()));
        return;
    }
    auto baudrate = selected_baudrate(state);
    if (!baudrate) {
        fail_action(state, std::move(baudrate.error()));
        return;
    }
    state.ui_mode = UiMode::EditSweep;
    state.focus = 0;
}

void on_enter(UiState& state) {
    switch (state.ui_mode) {
        case UiMode::SelectConnection:
            confirm_selection(state);
            break;
        case UiMode::EditSweep:
            if (auto started = start_scan(state); !started) {
                fail_action(state, std::move(started.error()));
            }
            break;
        case UiMode::Scanning:
            break;
        case UiMode::ShowResult:
        case UiMode::ShowFailure:
            state.should_quit = true;
            break;
    }
}

void on_focus_key(UiState& state, FocusDirection direction) {
    if (auto rebuilt = on_left_right(state, direction); !rebuilt) {
        fail_action(state, std::move(rebuilt.error()));
    }
}

// The worker's thread: its own alternate signal stack first, so a stack overflow in the run is
// reported like one on the main thread; without one the run goes ahead all the same.
void run_worker(AcquisitionJob job) {
    auto signal_stack = platform::ThreadSignalStack::install();
    acquisition_worker(std::move(job));
}

// A thread the system refuses to start ends the program through the crash path.
void start_worker(AcquisitionJob job) noexcept {
    std::thread(run_worker, std::move(job)).detach();
}

}  // namespace

Config config_from_ui(const UiState& state, std::string port, std::uint32_t baudrate) {
    Config candidate = state.config;
    candidate.port = std::move(port);
    candidate.baudrate = baudrate;
    candidate.start_frequency = state.start_field.value;
    candidate.stop_frequency = state.stop_field.value;
    candidate.points = state.points_field.value;
    candidate.repeat = state.repeat_field.value;
    return candidate;
}

std::expected<void, UiError> start_scan(UiState& state) {
    auto port = selected_port(state);
    if (!port) {
        return std::unexpected(std::move(port.error()));
    }
    auto baudrate = selected_baudrate(state);
    if (!baudrate) {
        return std::unexpected(std::move(baudrate.error()));
    }
    Config candidate = config_from_ui(state, std::move(*port), *baudrate);
    if (auto valid = validate(candidate); !valid) {
        return std::unexpected(UiError(AppError(AppError::Config{std::move(valid.error())})));
    }
    const ScanRequest request{
        .start_hz = candidate.start_frequency * HZ_PER_MHZ,
        .stop_hz = candidate.stop_frequency * HZ_PER_MHZ,
        .points = candidate.points,
        .repeat = candidate.repeat,
    };
    if (auto bounded = validate_request(request); !bounded) {
        return std::unexpected(
            UiError(AppError(AppError::Acquisition{AcquisitionError(AcquisitionError::Protocol{
                ProtocolError::InvalidRequest{std::move(bounded.error())}})})));
    }
    if (auto saved = save_config(candidate, state.config_path); !saved) {
        return std::unexpected(UiError(AppError(AppError::Config{std::move(saved.error())})));
    }
    state.progress_gauge = tui::LineGauge{
        .label = "Progress:",
        .ratio = 0.0,
        .style = tui::Style{},
        .filled_style = tui::Style::foreground(tui::Color::Blue),
        .unfilled_style = tui::Style::foreground(tui::Color::Red),
        .filled_symbol = "\u2500",
        .unfilled_symbol = "\u2500",
    };
    state.ui_mode = UiMode::Scanning;
    start_worker(AcquisitionJob{
        .config = std::move(candidate),
        .state = state.scan_state,
        .request = request,
    });
    return {};
}

void handle_key(UiState& state, const tui::KeyEvent& key) {
    // Modifiers are not looked at: Ctrl+q and Alt+q are q.
    const bool editing =
        state.ui_mode == UiMode::SelectConnection || state.ui_mode == UiMode::EditSweep;
    switch (key.code) {
        case tui::KeyCode::Enter:
            on_enter(state);
            return;
        case tui::KeyCode::Esc:
            state.should_quit = true;
            return;
        case tui::KeyCode::Left:
            if (editing) {
                on_focus_key(state, FocusDirection::Previous);
            }
            return;
        case tui::KeyCode::Right:
            if (editing) {
                on_focus_key(state, FocusDirection::Next);
            }
            return;
        case tui::KeyCode::Up:
            if (editing) {
                on_up_down(state, StepDirection::Up);
            }
            return;
        case tui::KeyCode::Down:
            if (editing) {
                on_up_down(state, StepDirection::Down);
            }
            return;
        case tui::KeyCode::Char:
            break;
        case tui::KeyCode::Other:
            return;
    }
    switch (key.ch) {
        case U'q':
            state.should_quit = true;
            return;
        case U'h':
            handle_key(state, tui::KeyEvent{.code = tui::KeyCode::Left});
            return;
        case U'l':
            handle_key(state, tui::KeyEvent{.code = tui::KeyCode::Right});
            return;
        case U'k':
            handle_key(state, tui::KeyEvent{.code = tui::KeyCode::Up});
            return;
        case U'j':
            handle_key(state, tui::KeyEvent{.code = tui::KeyCode::Down});
            return;
        default:
            return;
    }
}

void poll_scan(UiState& state) {
    if (state.ui_mode != UiMode::Scanning) {
        return;
    }
    switch (phase(state.scan_state)) {
        case ScanPhase::Ready:
        case ScanPhase::Running:
            return;
        case ScanPhase::Failed:
            state.ui_mode = UiMode::ShowFailure;
            return;
        case ScanPhase::Complete:
            break;
    }
    if (auto samples = take_samples(state.scan_state)) {
        state.samples = std::move(*samples);
        // The cache knows samples by address and count; new ones may reuse both.
        state.chart_cache.clear();
        state.ui_mode = UiMode::ShowResult;
    } else {
        fail_action(state, UiError(UiError::NoReturnData{}));
    }
}

std::expected<void, ErrorReport> run_ui(UiState& state, std::unique_ptr<tui::Terminal> terminal) {
    tui::TerminalInput input;
    return run_ui(state, std::move(terminal), input);
}

std::expected<void, ErrorReport> run_ui(UiState& state, std::unique_ptr<tui::Terminal> terminal,
                                        tui::InputSource& input) {
    const CursorRestorer cursor(*terminal);

    state.port_list = make_list(state.port_names);
    std::vector<std::string> rates;
    rates.reserve(state.baudrates.size());
    for (const std::uint32_t rate : state.baudrates) {
        rates.push_back(fmt::format("{}", rate));
    }
    state.baud_list = make_list(std::move(rates));
    state.banner = BANNER;
    if (auto rebuilt = rebuild_lists(state); !rebuilt) {
        return std::unexpected(ErrorReport(std::move(rebuilt.error())));
    }

    // A crash on the worker gives the terminal back; no frame may land on it after that.
    const auto output_gate = TerminalOutputGate::install();
    const std::chrono::milliseconds poll_interval(state.config.ui.poll_interval_ms);
    while (!state.should_quit) {
        poll_scan(state);

        std::optional<UiError> screen_error;
        std::expected<void, IoError> drawn;
        {
            const TerminalOutputGate::Stretch stretch(*output_gate);
            drawn = terminal->draw([&](tui::Buffer& frame) {
                if (auto screen = draw_view(frame, state); !screen) {
                    screen_error = std::move(screen.error());
                }
            });
        }
        if (!drawn) {
            return std::unexpected(ErrorReport(std::move(drawn.error())));
        }
        if (screen_error) {
            return std::unexpected(ErrorReport(std::move(*screen_error)));
        }

        auto ready = input.poll(poll_interval);
        if (!ready) {
            return std::unexpected(ErrorReport(std::move(ready.error())));
        }
        if (!*ready) {
            continue;
        }
        auto key = input.read();
        if (!key) {
            return std::unexpected(ErrorReport(std::move(key.error())));
        }
        if (*key) {
            handle_key(state, **key);
        }
    }
    return {};
}

}  // namespace vireo
