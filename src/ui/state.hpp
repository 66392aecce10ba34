#pragma once
// Everything the full-screen interface keeps between two turns of its loop, and the small
// operations on it that the keys trigger.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/config.hpp"
#include "scan/sample.hpp"
#include "scan/scan_state.hpp"
#include "tui/chart.hpp"
#include "tui/line_gauge.hpp"
#include "tui/list.hpp"
#include "ui/port_list.hpp"
#include "ui/ui_error.hpp"

namespace vireo {

// One stepped numeric input; min <= value <= max always holds.
struct NumericField {
    std::uint64_t value;
    std::uint64_t step;
    std::uint64_t min;
    std::uint64_t max;

    friend bool operator==(const NumericField&, const NumericField&) = default;
};

// The current screen.
enum class UiMode : std::uint8_t { SelectConnection, EditSweep, ShowResult, Scanning, ShowFailure };

enum class StepDirection { Up, Down };
enum class FocusDirection { Previous, Next };

// The interface's state, owned by the main thread; only `scan_state` is shared with the worker.
struct UiState {
    tui::ListState baud_state;
    std::vector<std::uint32_t> baudrates;
    tui::ListState port_state;
    std::vector<std::string> port_names;
    std::optional<tui::List> port_list;  // absent until the loop builds it
    std::optional<tui::List> baud_list;
    std::optional<tui::LineGauge> progress_gauge;  // built when a run starts
    std::string banner;
    Config config;
    std::filesystem::path config_path;
    std::vector<Sample> samples;  // of the completed run
    ScanStateHandle scan_state;
    NumericField start_field;  // whole MHz
    NumericField stop_field;   // whole MHz
    NumericField points_field;
    NumericField repeat_field;
    UiMode ui_mode = UiMode::SelectConnection;
    // SelectConnection: 0 port list, 1 baud-rate list. EditSweep: 0 Start, 1 Stop, 2 Points,
    // 3 Repeat.
    std::uint8_t focus = 0;
    bool should_quit = false;
    // The result chart's samples mapped to cells, kept across frames. Replacing `samples` by
    // another vector is noticed; changing them in place needs `chart_cache.clear()`.
    tui::ChartCache chart_cache;
};

// The state at start-up: selections preselected, fields clamped to their bounds, a fresh
// ScanState, no widgets yet.
UiState build_ui_state(Config config, std::filesystem::path config_path,
                       std::vector<PortRecord> ports);

// The index of the first name equal to `name` byte for byte.
std::optional<std::size_t> find_port_index(std::span<const std::string> names,
                                           std::string_view name);

// One step up or down, saturating, then clamped to the field's bounds.
void step_field(NumericField& field, StepDirection direction);

// The selected port name, or NoPortSelected.
std::expected<std::string, UiError> selected_port(const UiState& state);
// The selected baud rate, or MenuSelection.
std::expected<std::uint32_t, UiError> selected_baudrate(const UiState& state);

// Up or Down: moves the focused list's selection or steps the focused field.
void on_up_down(UiState& state, StepDirection direction);
// Left or Right: moves the focus, then rebuilds the lists for the new focus.
std::expected<void, UiError> on_left_right(UiState& state, FocusDirection direction);

}  // namespace vireo
