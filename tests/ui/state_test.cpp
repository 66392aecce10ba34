#include "ui/state.hpp"

#include <limits>

#include <gtest/gtest.h>

#include "test_config.hpp"
#include "ui/view.hpp"

namespace vireo {
namespace {

std::vector<PortRecord> ports_named(std::initializer_list<const char*> names) {
    std::vector<PortRecord> ports;
    for (const char* name : names) {
        ports.push_back({name, UsbPort{0x0483, 0x5740, "1", "m", "p"}});
    }
    return ports;
}

UiState state_with(std::vector<PortRecord> ports) {
    return build_ui_state(test::default_config(), "vireo.toml", std::move(ports));
}

TEST(BuildUiState, StartsOnTheConnectionScreenWithAFreshRunAndNoWidgets) {
    Config config = test::default_config();
    const UiState state =
        build_ui_state(config, "/tmp/vireo.toml", ports_named({"/dev/ttyS0", "/dev/ttyACM0"}));
    EXPECT_EQ(state.config, config);
    EXPECT_EQ(state.config_path, "/tmp/vireo.toml");
    EXPECT_EQ(state.port_names, (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyACM0"}));
    EXPECT_EQ(state.baudrates, config.serial.baudrates);
    EXPECT_EQ(state.baud_state, (tui::ListState{3, 0}));  // 115200
    EXPECT_EQ(state.port_state, (tui::ListState{1, 0}));
    EXPECT_EQ(state.start_field, (NumericField{240, 10, 0, 960}));
    EXPECT_EQ(state.stop_field, (NumericField{800, 10, 10, 960}));
    EXPECT_EQ(state.points_field, (NumericField{10001, 100, 101, 1000001}));
    EXPECT_EQ(state.repeat_field, (NumericField{1, 1, 1, 1000}));
    EXPECT_EQ(state.ui_mode, UiMode::SelectConnection);
    EXPECT_EQ(state.focus, 0);
    EXPECT_FALSE(state.should_quit);
    EXPECT_FALSE(state.port_list.has_value());
    EXPECT_FALSE(state.baud_list.has_value());
    EXPECT_FALSE(state.progress_gauge.has_value());
    EXPECT_TRUE(state.banner.empty());
    EXPECT_TRUE(state.samples.empty());
    ASSERT_NE(state.scan_state, nullptr);
    EXPECT_EQ(state.scan_state.use_count(), 1);
    EXPECT_EQ(phase(state.scan_state), ScanPhase::Ready);
    EXPECT_EQ(progress_percent(state.scan_state), 0u);
}

TEST(BuildUiState, ClampsEachFieldToItsOwnBounds) {
    struct Case {
        std::size_t start, stop, points, repeat;
        std::uint64_t start_value, stop_value, points_value, repeat_value;
    };
    const Case cases[] = {
        {1000, 2000, 1000002, 0, 960, 960, 1000001, 1},
        {0, 5, 2, 1001, 0, 10, 101, 1000},
        {960, 10, 101, 1000, 960, 10, 101, 1000},
        // Start above Stop stays as it is; only the run's validation refuses it.
        {900, 100, 5000, 3, 900, 100, 5000, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        Config config = test::default_config();
        config.start_frequency = c.start;
        config.stop_frequency = c.stop;
        config.points = c.points;
        config.repeat = c.repeat;
        const UiState state = build_ui_state(config, "vireo.toml", {});
        EXPECT_EQ(state.start_field.value, c.start_value);
        EXPECT_EQ(state.stop_field.value, c.stop_value);
        EXPECT_EQ(state.points_field.value, c.points_value);
        EXPECT_EQ(state.repeat_field.value, c.repeat_value);
    }
}

TEST(BuildUiState, PreselectsConfiguredThenPreferredThenFirstPort) {
    struct Case {
        const char* name;
        std::string port;
        std::vector<std::string> preferred;
        std::vector<const char*> system;
        std::optional<std::size_t> selected;
    };
    const Case cases[] = {
        {"preferred in their own order", "", {"/dev/ttyACM0", "COM3", "COM5"}, {"COM5", "COM3"}, 1},
        {"configured port first", "COM5", {"COM3"}, {"COM3", "COM5"}, 1},
        {"configured port missing", "COM9", {"COM5"}, {"COM3", "COM5"}, 1},
        {"exact comparison", "com3", {"COM3 "}, {"X", "COM3"}, 0},
        {"duplicates give the first", "", {"B"}, {"A", "B", "B"}, 1},
        {"nothing matches", "", {"COM3"}, {"/dev/ttyS0", "/dev/ttyS1"}, 0},
        {"no ports", "COM3", {"COM3"}, {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Config config = test::default_config();
        config.port = c.port;
        config.serial.preferred_ports = c.preferred;
        std::vector<PortRecord> ports;
        for (const char* name : c.system) {
            ports.push_back({name, UnknownPort{}});
        }
        const UiState state = build_ui_state(config, "vireo.toml", ports);
        EXPECT_EQ(state.port_state.selected, c.selected);
        EXPECT_EQ(state.port_state.offset, 0u);
    }
}

TEST(BuildUiState, BaudRateMissingFromTheListSelectsNothing) {
    Config config = test::default_config();
    config.baudrate = 9600;
    const UiState state = build_ui_state(config, "vireo.toml", ports_named({"COM3"}));
    EXPECT_FALSE(state.baud_state.selected.has_value());
    EXPECT_EQ(selected_baudrate(state).error().value().index(),
              UiError::Variant(UiError::MenuSelection{}).index());
}

TEST(FindPortIndex, MatchesWholeNamesExactly) {
    const std::vector<std::string> names{"COM3", "/dev/ttyACM0", "", "COM3"};
    EXPECT_EQ(find_port_index(names, "COM3"), 0u);
    EXPECT_EQ(find_port_index(names, ""), 2u);
    EXPECT_EQ(find_port_index(names, "com3"), std::nullopt);
    EXPECT_EQ(find_port_index(names, "COM"), std::nullopt);
    EXPECT_EQ(find_port_index(names, "/dev/ttyACM0\n"), std::nullopt);
    EXPECT_EQ(find_port_index({}, "COM3"), std::nullopt);
}

TEST(StepField, SaturatesAndStopsAtTheBounds) {
    constexpr std::uint64_t MAX = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        NumericField field;
        StepDirection direction;
        std::uint64_t value;
    };
    const Case cases[] = {
        {{955, 10, 0, 960}, StepDirection::Up, 960},
        {{15, 10, 10, 960}, StepDirection::Down, 10},
        {{960, 10, 0, 960}, StepDirection::Up, 960},
        {{0, 10, 0, 960}, StepDirection::Down, 0},
        {{240, 10, 0, 960}, StepDirection::Up, 250},
        {{240, 10, 0, 960}, StepDirection::Down, 230},
        {{150, 100, 101, 1000001}, StepDirection::Down, 101},
        {{MAX - 1, 5, 0, MAX}, StepDirection::Up, MAX},
        {{7, MAX, 0, MAX}, StepDirection::Up, MAX},
        {{7, MAX, 3, MAX}, StepDirection::Down, 3},
        {{5, 0, 1, 10}, StepDirection::Up, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field.value);
        NumericField field = c.field;
        step_field(field, c.direction);
        EXPECT_EQ(field, (NumericField{c.value, c.field.step, c.field.min, c.field.max}));
    }
}

TEST(Selection, SelectedPortAndRateNeedAnIndexInsideTheList) {
    struct Case {
        std::optional<std::size_t> port;
        std::optional<std::size_t> baud;
        std::optional<std::string> port_name;
        std::optional<std::uint32_t> rate;
    };
    const Case cases[] = {
        {1, 0, "B", 19200},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {2, 10, std::nullopt, std::nullopt},
        {0, 9, "A", 3000000},
    };
    for (const Case& c : cases) {
        UiState state = state_with(ports_named({"A", "B"}));
        state.port_state.selected = c.port;
        state.baud_state.selected = c.baud;
        const tui::ListState port_before = state.port_state;
        const auto port = selected_port(state);
        const auto rate = selected_baudrate(state);
        if (c.port_name) {
            EXPECT_EQ(port, *c.port_name);
        } else {
            EXPECT_EQ(display(port.error()),
                      "no serial port is selected; connect the instrument and restart");
        }
        if (c.rate) {
            EXPECT_EQ(rate, *c.rate);
        } else {
            EXPECT_EQ(display(rate.error()), "selected menu item is unavailable");
        }
        EXPECT_EQ(state.port_state, port_before);
    }
}

TEST(OnUpDown, MovesTheFocusedListWithoutWrapping) {
    struct Case {
        std::size_t count;
        std::optional<std::size_t> selected;
        StepDirection direction;
        std::optional<std::size_t> expected;
    };
    const Case cases[] = {
        {3, 0, StepDirection::Down, 1},
        {3, 2, StepDirection::Down, 2},
        {3, 0, StepDirection::Up, 0},
        {3, 2, StepDirection::Up, 1},
        {3, std::nullopt, StepDirection::Down, 1},
        {1, std::nullopt, StepDirection::Down, 0},
        {3, std::nullopt, StepDirection::Up, 0},
        // A selection past the end counts as the last entry.
        {3, 7, StepDirection::Down, 2},
        {3, 7, StepDirection::Up, 1},
        {0, 4, StepDirection::Down, std::nullopt},
        {0, std::nullopt, StepDirection::Up, std::nullopt},
    };
    for (std::uint8_t focus : {0, 1}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "focus " << int(focus) << " count " << c.count
                                            << " selected " << c.selected.value_or(99));
            UiState state = state_with({});
            state.focus = focus;
            std::vector<std::string> names(c.count, "port");
            std::vector<std::uint32_t> rates(c.count, 9600);
            state.port_names = names;
            state.baudrates = rates;
            tui::ListState& moved = focus == 0 ? state.port_state : state.baud_state;
            const tui::ListState other = focus == 0 ? state.baud_state : state.port_state;
            moved = {c.selected, 5};
            on_up_down(state, c.direction);
            EXPECT_EQ(moved.selected, c.expected);
            EXPECT_EQ(moved.offset, c.count == 0 ? 0u : 5u);
            EXPECT_EQ(focus == 0 ? state.baud_state : state.port_state, other);
        }
    }
}

TEST(OnUpDown, StepsOnlyTheFocusedFieldOnTheSweepScreen) {
    UiState state = state_with(ports_named({"A"}));
    state.ui_mode = UiMode::EditSweep;
    const UiState before = state_with(ports_named({"A"}));
    for (std::uint8_t focus = 0; focus < 4; ++focus) {
        state.focus = focus;
        on_up_down(state, StepDirection::Up);
    }
    EXPECT_EQ(state.start_field.value, before.start_field.value + 10);
    EXPECT_EQ(state.stop_field.value, before.stop_field.value + 10);
    EXPECT_EQ(state.points_field.value, before.points_field.value + 100);
    EXPECT_EQ(state.repeat_field.value, before.repeat_field.value + 1);
    state.focus = 2;
    on_up_down(state, StepDirection::Down);
    EXPECT_EQ(state.points_field.value, before.points_field.value);
    EXPECT_EQ(state.port_state, before.port_state);
}

TEST(OnUpDown, DoesNothingOnTheOtherScreens) {
    for (UiMode mode : {UiMode::ShowResult, UiMode::Scanning, UiMode::ShowFailure}) {
        UiState state = state_with(ports_named({"A", "B"}));
        state.ui_mode = mode;
        on_up_down(state, StepDirection::Down);
        EXPECT_EQ(state.port_state.selected, 0u);
        EXPECT_EQ(state.start_field.value, 240u);
    }
}

TEST(OnLeftRight, MovesTheFocusWithinEachScreen) {
    struct Case {
        UiMode mode;
        std::uint8_t focus;
        FocusDirection direction;
        std::uint8_t expected;
    };
    const Case cases[] = {
        {UiMode::SelectConnection, 0, FocusDirection::Next, 1},
        {UiMode::SelectConnection, 1, FocusDirection::Next, 1},
        {UiMode::SelectConnection, 1, FocusDirection::Previous, 0},
        {UiMode::SelectConnection, 0, FocusDirection::Previous, 0},
        {UiMode::EditSweep, 0, FocusDirection::Next, 1},
        {UiMode::EditSweep, 3, FocusDirection::Next, 3},
        {UiMode::EditSweep, 2, FocusDirection::Previous, 1},
        {UiMode::EditSweep, 0, FocusDirection::Previous, 0},
        {UiMode::Scanning, 2, FocusDirection::Next, 2},
        {UiMode::ShowResult, 2, FocusDirection::Previous, 2},
        {UiMode::ShowFailure, 0, FocusDirection::Next, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.mode) << " " << int(c.focus));
        UiState state = state_with(ports_named({"A"}));
        state.port_list = make_list({"A"});
        state.baud_list = make_list({"115200"});
        state.ui_mode = c.mode;
        state.focus = c.focus;
        EXPECT_TRUE(on_left_right(state, c.direction).has_value());
        EXPECT_EQ(state.focus, c.expected);
    }
}

TEST(OnLeftRight, AMissingListIsReportedAfterTheFocusMoved) {
    UiState state = state_with(ports_named({"A"}));
    state.baud_list = make_list({"115200"});
    const auto result = on_left_right(state, FocusDirection::Next);
    ASSERT_FALSE(result.has_value());
    const auto* missing = std::get_if<UiError::UninitializedItemList>(&result.error().value());
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->widget, "Port List");
    EXPECT_EQ(missing->file, "src/ui/view");
    EXPECT_EQ(state.focus, 1);
    EXPECT_TRUE(state.baud_list.has_value());

    // Elsewhere the lists are not looked at.
    state.ui_mode = UiMode::EditSweep;
    state.focus = 0;
    EXPECT_TRUE(on_left_right(state, FocusDirection::Next).has_value());
}

}  // namespace
}  // namespace vireo
