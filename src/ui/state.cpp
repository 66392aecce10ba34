#include "ui/state.hpp"

#include <algorithm>
#include <limits>

#include "ui/view.hpp"

namespace vireo {

namespace {

// Upper bounds of the frequency fields, in whole MHz.
constexpr std::uint64_t MAX_FREQUENCY_MHZ = 960;
constexpr std::uint64_t MIN_STOP_FREQUENCY_MHZ = 10;

std::optional<std::size_t> preselected_port(const Config& config,
                                            std::span<const std::string> names) {
    if (auto index = find_port_index(names, config.port)) {
        return index;
    }
    for (const std::string& preferred : config.serial.preferred_ports) {
        if (auto index = find_port_index(names, preferred)) {
            return index;
        }
    }
    if (!names.empty()) {
        return 0;
    }
    return std::nullopt;
}

// Clamping that never asserts lo <= hi the way std::clamp does; the lower bound wins.
std::uint64_t clamp_to(std::uint64_t value, std::uint64_t lo, std::uint64_t hi) {
    if (value > hi) {
        value = hi;
    }
    if (value < lo) {
        value = lo;
    }
    return value;
}

void move_selection(tui::ListState& list, std::size_t count, StepDirection direction) {
    if (count == 0) {
        list.selected.reset();
        list.offset = 0;
        return;
    }
    const std::size_t current = std::min(list.selected.value_or(0), count - 1);
    if (direction == StepDirection::Down) {
        list.selected = std::min(current + 1, count - 1);
    } else {
        list.selected = current == 0 ? 0 : current - 1;
    }
}

}  // namespace

UiState build_ui_state(Config config, std::filesystem::path config_path,
                       std::vector<PortRecord> ports) {
    UiState state;
    state.baudrates = config.serial.baudrates;
    const auto baud = std::ranges::find(state.baudrates, config.baudrate);
    if (baud != state.baudrates.end()) {
        state.baud_state.selected = static_cast<std::size_t>(baud - state.baudrates.begin());
    }

    state.port_names.reserve(ports.size());
    for (PortRecord& port : ports) {
        state.port_names.push_back(std::move(port.port_name));
    }
    state.port_state.selected = preselected_port(config, state.port_names);

    const std::uint64_t frequency_step = config.scan.frequency_step_mhz;
    state.start_field = {std::min<std::uint64_t>(config.start_frequency, MAX_FREQUENCY_MHZ),
                         frequency_step, 0, MAX_FREQUENCY_MHZ};
    state.stop_field = {std::min<std::uint64_t>(
                            std::max<std::uint64_t>(config.stop_frequency, MIN_STOP_FREQUENCY_MHZ),
                            MAX_FREQUENCY_MHZ),
                        frequency_step, MIN_STOP_FREQUENCY_MHZ, MAX_FREQUENCY_MHZ};
    state.points_field = {clamp_to(config.points, config.scan.min_points, config.scan.max_points),
                          config.scan.points_step, config.scan.min_points, config.scan.max_points};
    state.repeat_field = {clamp_to(config.repeat, 1, config.scan.max_repeat), 1, 1,
                          config.scan.max_repeat};

    state.scan_state = make_scan_state();
    state.config = std::move(config);
    state.config_path = std::move(config_path);
    return state;
}

std::optional<std::size_t> find_port_index(std::span<const std::string> names,
                                           std::string_view name) {
    const auto found = std::ranges::find(names, name);
    if (found == names.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - names.begin());
}

void step_field(NumericField& field, StepDirection direction) {
    constexpr std::uint64_t MAX = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t candidate = 0;
    if (direction == StepDirection::Up) {
        candidate = field.value > MAX - field.step ? MAX : field.value + field.step;
    } else {
        candidate = field.value < field.step ? 0 : field.value - field.step;
    }
    field.value = clamp_to(candidate, field.min, field.max);
}

std::expected<std::string, UiError> selected_port(const UiState& state) {
    const auto& selected = state.port_state.selected;
    if (!selected || *selected >= state.port_names.size()) {
        return std::unexpected(UiError::NoPortSelected{});
    }
    return state.port_names[*selected];
}

std::expected<std::uint32_t, UiError> selected_baudrate(const UiState& state) {
    const auto& selected = state.baud_state.selected;
    if (!selected || *selected >= state.baudrates.size()) {
        return std::unexpected(UiError::MenuSelection{});
    }
    return state.baudrates[*selected];
}

void on_up_down(UiState& state, StepDirection direction) {
    switch (state.ui_mode) {
        case UiMode::SelectConnection:
            if (state.focus == 0) {
                move_selection(state.port_state, state.port_names.size(), direction);
            } else {
                move_selection(state.baud_state, state.baudrates.size(), direction);
            }
            return;
        case UiMode::EditSweep: {
            NumericField* const fields[] = {&state.start_field, &state.stop_field,
                                            &state.points_field, &state.repeat_field};
            if (state.focus < std::size(fields)) {
                step_field(*fields[state.focus], direction);
            }
            return;
        }
        case UiMode::ShowResult:
        case UiMode::Scanning:
        case UiMode::ShowFailure:
            return;
    }
}

std::expected<void, UiError> on_left_right(UiState& state, FocusDirection direction) {
    const bool next = direction == FocusDirection::Next;
    switch (state.ui_mode) {
        case UiMode::SelectConnection:
            state.focus = next ? 1 : 0;
            break;
        case UiMode::EditSweep:
            if (next && state.focus < 3) {
                ++state.focus;
            } else if (!next && state.focus > 0) {
                --state.focus;
            }
            break;
        case UiMode::ShowResult:
        case UiMode::Scanning:
        case UiMode::ShowFailure:
            break;
    }
    return rebuild_lists(state);
}

}  // namespace vireo
