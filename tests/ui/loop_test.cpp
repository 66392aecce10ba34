#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "config/load.hpp"
#include "instrument_double.hpp"
#include "scan/scan_state.hpp"
#include "test_backend.hpp"
#include "test_config.hpp"
#include "tui/terminal.hpp"
#include "ui/mod.hpp"
#include "ui/state.hpp"
#include "ui/view.hpp"
#include "widget_checks.hpp"

namespace vireo {
namespace {

using namespace std::chrono_literals;

tui::KeyEvent chr(char32_t ch, bool ctrl = false, bool alt = false) {
    return tui::KeyEvent{.code = tui::KeyCode::Char, .ch = ch, .ctrl = ctrl, .alt = alt};
}
const tui::KeyEvent ENTER{.code = tui::KeyCode::Enter};
const tui::KeyEvent ESC{.code = tui::KeyCode::Esc};

// Keys for the loop, each given once the interface has reached a screen (or at once). A key
// that waits too long is replaced by q so a broken loop still ends.
class ScriptedInput final : public tui::InputSource {
  public:
    struct Step {
        std::optional<UiMode> when;
        tui::KeyEvent key;
        std::function<void()> check = {};  // runs just before the key is given
    };

    ScriptedInput(const UiState& state, std::deque<Step> steps)
        : state_(state), steps_(std::move(steps)) {}

    std::expected<bool, IoError> poll(std::chrono::milliseconds timeout) override {
        if (steps_.empty()) {
            ADD_FAILURE() << "the loop asked for a key after the script ended";
            steps_.push_back(Step{std::nullopt, chr(U'q')});
            return true;
        }
        Step& next = steps_.front();
        if (next.when && state_.ui_mode != *next.when) {
            if (std::chrono::steady_clock::now() - since_ > 20s) {
                ADD_FAILURE() << "the interface never reached the screen the next key waits for";
                next = Step{std::nullopt, chr(U'q')};
                return true;
            }
            std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(timeout, 2ms));
            return false;
        }
        return true;
    }

    std::expected<std::optional<tui::KeyEvent>, IoError> read() override {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        since_ = std::chrono::steady_clock::now();
        if (step.check) {
            step.check();
        }
        return step.key;
    }

    bool finished() const { return steps_.empty(); }

  private:
    const UiState& state_;
    std::deque<Step> steps_;
    std::chrono::steady_clock::time_point since_ = std::chrono::steady_clock::now();
};

// The terminal's backend, with the test keeping a view of it after the terminal is gone.
class SharedBackend final : public tui::Backend {
  public:
    explicit SharedBackend(std::shared_ptr<tui::test::TestBackend> inner)
        : inner_(std::move(inner)) {}
    std::expected<tui::Rect, IoError> size() override { return inner_->size(); }
    bool take_screen_lost() override { return inner_->take_screen_lost(); }
    std::expected<void, IoError> draw(std::span<const tui::CellUpdate> updates) override {
        return inner_->draw(updates);
    }
    std::expected<void, IoError> hide_cursor() override { return inner_->hide_cursor(); }
    std::expected<void, IoError> show_cursor() override { return inner_->show_cursor(); }
    std::expected<void, IoError> flush() override { return inner_->flush(); }

  private:
    std::shared_ptr<tui::test::TestBackend> inner_;
};

std::string screen_text(const tui::Buffer& buffer) {
    std::string text;
    for (const auto& line : tui::test::lines(buffer)) {
        text += line + "\n";
    }
    return text;
}

class InterfaceLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vireo-loop-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        config_path_ = dir_ / "config.toml";
        backend_ = std::make_shared<tui::test::TestBackend>(100, 30);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // The defaults with the TCP back end aimed at `address` and the output in the test's folder.
    Config config_for(const std::string& address) {
        Config config = test::default_config();
        config.connection.backend = ConnectionBackend::Tcp;
        config.connection.tcp_address = address;
        config.output.directory = dir_;
        config.points = 101;
        config.serial.command_delay_ms = 0;
        config.serial.settle_delay_ms = 0;
        config.serial.scan_delay_ms = 0;
        config.ui.poll_interval_ms = 5;
        return config;
    }

    UiState state_for(Config config) {
        std::vector<PortRecord> ports{
            PortRecord{"tcp://" + config.connection.tcp_address, UnknownPort{}}};
        return build_ui_state(std::move(config), config_path_, std::move(ports));
    }

    std::expected<void, ErrorReport> run(UiState& state, tui::InputSource& input) {
        return run_ui(state,
                      std::make_unique<tui::Terminal>(std::make_unique<SharedBackend>(backend_)),
                      input);
    }

    std::filesystem::path dir_;
    std::filesystem::path config_path_;
    std::shared_ptr<tui::test::TestBackend> backend_;
};

TEST_F(InterfaceLoop, EnterRunsASweepToTheChartAfterSavingTheConfiguration) {
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Basic});
    const std::string address = instrument.listen_tcp();
    UiState state = state_for(config_for(address));

    bool saved_before_scanning = false;
    // The next baud rate after the configured 115200.
    ScriptedInput input(
        state, {
                   {UiMode::SelectConnection, chr(U'l')},
                   {UiMode::SelectConnection, chr(U'j')},
                   {UiMode::SelectConnection, ENTER},
                   {UiMode::EditSweep, ENTER},
                   {UiMode::Scanning, chr(U'x'),
                    [&] { saved_before_scanning = std::filesystem::exists(config_path_); }},
                   {UiMode::ShowResult, ENTER},
               });
    const auto result = run(state, input);

    ASSERT_TRUE(result.has_value()) << debug(result.error());
    EXPECT_TRUE(input.finished());
    EXPECT_TRUE(saved_before_scanning);
    EXPECT_EQ(state.samples.size(), 101u);
    EXPECT_EQ(phase(state.scan_state), ScanPhase::Complete);
    EXPECT_FALSE(backend_->cursor_hidden());

    // The saved file is the run's configuration, the port being the list's TCP entry.
    const auto saved = load_config(config_path_);
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->port, "tcp://" + address);
    EXPECT_EQ(saved->baudrate, 230400u);
    EXPECT_EQ(saved->points, 101u);

    std::size_t csv_files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        csv_files += entry.path().extension() == ".csv" ? 1 : 0;
    }
    EXPECT_EQ(csv_files, 1u);
}

TEST_F(InterfaceLoop, StartAboveStopIsRefusedWithTheConfigurationsTextAndNothingSaved) {
    Config config = config_for("127.0.0.1:9");
    config.start_frequency = 900;
    config.stop_frequency = 100;
    UiState state = state_for(std::move(config));

    ScriptedInput input(state, {
                                   {UiMode::SelectConnection, ENTER},
                                   {UiMode::EditSweep, ENTER},
                                   {UiMode::ShowFailure, chr(U'q')},
                               });
    const auto result = run(state, input);

    ASSERT_TRUE(result.has_value()) << debug(result.error());
    EXPECT_EQ(error_text(state.scan_state),
              "invalid configuration: frequencies must be ordered in 0–960 MHz, with stop at "
              "least 10 MHz");
    EXPECT_FALSE(std::filesystem::exists(config_path_));
    EXPECT_FALSE(state.progress_gauge.has_value());
    EXPECT_NE(screen_text(backend_->buffer()).find("frequencies must be ordered"),
              std::string::npos);
}

// Every screen ends the program on q, Esc and their Ctrl and Alt forms; upper-case Q and Enter
// while scanning do nothing.
TEST_F(InterfaceLoop, QuitKeysEndTheLoopOnEveryScreen) {
    struct Case {
        std::string_view name;
        std::vector<tui::KeyEvent> before;
        UiMode screen;
        bool start_above_stop;
    };
    const Case cases[] = {
        {"connection screen", {}, UiMode::SelectConnection, false},
        {"sweep screen", {ENTER}, UiMode::EditSweep, false},
        {"scanning", {ENTER, ENTER}, UiMode::Scanning, false},
        {"failure", {ENTER, ENTER}, UiMode::ShowFailure, true},
    };
    const tui::KeyEvent quit_keys[] = {chr(U'q'), ESC, chr(U'q', true), chr(U'q', false, true)};

    // Slow enough that every run is still going when its quit key comes.
    sim::InstrumentDouble instrument(
        sim::Options{.model = sim::Model::Basic, .point_delay = std::chrono::milliseconds(50)});
    const std::string address = instrument.listen_tcp();
    for (const auto& c : cases) {
        for (const auto& quit : quit_keys) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(quit.ctrl) +
                         std::to_string(quit.alt));
            std::filesystem::remove(config_path_);
            Config config = config_for(address);
            if (c.start_above_stop) {
                config.start_frequency = 900;
                config.stop_frequency = 100;
            }
            UiState state = state_for(std::move(config));
            std::deque<ScriptedInput::Step> steps;
            for (const auto& key : c.before) {
                steps.push_back({std::nullopt, key});
            }
            steps.push_back({c.screen, chr(U'Q')});
            if (c.screen == UiMode::Scanning) {
                steps.push_back({c.screen, ENTER});
            }
            steps.push_back({c.screen, quit});
            ScriptedInput input(state, std::move(steps));

            const auto result = run(state, input);

            ASSERT_TRUE(result.has_value()) << debug(result.error());
            EXPECT_TRUE(input.finished());
            EXPECT_TRUE(state.should_quit);
            EXPECT_EQ(state.ui_mode, c.screen);
        }
    }
}

TEST_F(InterfaceLoop, EnterWithoutAPortShowsTheFailureAndSavesNothing) {
    Config config = config_for("127.0.0.1:9");
    UiState state = build_ui_state(std::move(config), config_path_, {});
    ScriptedInput input(state, {
                                   {UiMode::SelectConnection, ENTER},
                                   {UiMode::ShowFailure, ENTER},
                               });
    const auto result = run(state, input);
    ASSERT_TRUE(result.has_value()) << debug(result.error());
    EXPECT_EQ(error_text(state.scan_state),
              "no serial port is selected; connect the instrument and restart");
    EXPECT_FALSE(std::filesystem::exists(config_path_));
}

// Input that fails as soon as the loop waits for it, after running `check`.
class FailingInput final : public tui::InputSource {
  public:
    explicit FailingInput(std::function<void()> check) : check_(std::move(check)) {}
    std::expected<bool, IoError> poll(std::chrono::milliseconds) override {
        check_();
        return std::unexpected(IoError::from_kind(IoErrorKind::Interrupted));
    }
    std::expected<std::optional<tui::KeyEvent>, IoError> read() override {
        ADD_FAILURE() << "read after a failed wait";
        return std::nullopt;
    }

  private:
    std::function<void()> check_;
};

// A terminal that fails for good ends the loop with a report made in the loop's own file; the
// cursor the first frame hid cannot be shown either, and the loop says so on standard error.
TEST_F(InterfaceLoop, ATerminalFailureEndsTheLoopWithAReport) {
    UiState state = state_for(config_for("127.0.0.1:9"));
    ScriptedInput input(
        state, {{UiMode::SelectConnection, chr(U'j'),
                 [&] { backend_->set_failure(IoError::from_kind(IoErrorKind::BrokenPipe)); }}});
    ::testing::internal::CaptureStderr();
    const auto result = run(state, input);
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(display(result.error()), "broken pipe");
    EXPECT_STREQ(result.error().location().file_name(), "src/ui/mod.cpp");
    EXPECT_TRUE(backend_->cursor_hidden());
    EXPECT_EQ(err, "Failed to show the cursor: broken pipe\n");
}

// A failure that leaves the screen working still gives the cursor back, without a word.
TEST_F(InterfaceLoop, AReportLeavesTheCursorShownWhenTheScreenStillWorks) {
    UiState state = state_for(config_for("127.0.0.1:9"));
    FailingInput input([&] { EXPECT_TRUE(backend_->cursor_hidden()); });
    ::testing::internal::CaptureStderr();
    const auto result = run(state, input);
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(display(result.error()), "operation interrupted");
    EXPECT_STREQ(result.error().location().file_name(), "src/ui/mod.cpp");
    EXPECT_FALSE(backend_->cursor_hidden());
    EXPECT_EQ(err, "");
}

TEST_F(InterfaceLoop, LeavingShowsTheCursorAgain) {
    UiState state = state_for(config_for("127.0.0.1:9"));
    ScriptedInput input(state, {{UiMode::SelectConnection, chr(U'q'),
                                 [&] { EXPECT_TRUE(backend_->cursor_hidden()); }}});
    ASSERT_TRUE(run(state, input).has_value());
    EXPECT_FALSE(backend_->cursor_hidden());
}

// A run that completes without samples is a failure of its own, shown on the failure screen.
TEST_F(InterfaceLoop, ACompletedRunWithoutSamplesShowsTheFailure) {
    UiState state = state_for(config_for("127.0.0.1:9"));
    state.ui_mode = UiMode::Scanning;
    state.progress_gauge = tui::LineGauge{"Progress:", 0.0, {}, {}, {}};
    start_run(state.scan_state);
    lock_state(state.scan_state)->phase = ScanPhase::Complete;

    std::string screen;
    ScriptedInput input(state, {{UiMode::ShowFailure, chr(U'q'),
                                 [&] { screen = screen_text(backend_->buffer()); }}});
    const auto result = run(state, input);

    ASSERT_TRUE(result.has_value()) << debug(result.error());
    EXPECT_EQ(phase(state.scan_state), ScanPhase::Failed);
    EXPECT_EQ(error_text(state.scan_state), "the completed scan has no available samples");
    EXPECT_NE(screen.find("│the completed scan has no available samples"), std::string::npos)
        << screen;
    EXPECT_NE(screen.find("│Last status: Failed"), std::string::npos) << screen;
    EXPECT_TRUE(state.samples.empty());
}

// Each turn while scanning looks at the run; other screens leave it alone.
TEST(PollScan, MovesOnByThePhaseOfTheRun) {
    enum class Run { Running, Failed, CompleteWithSamples, CompleteWithout };
    struct Case {
        const char* name;
        UiMode mode;
        Run run;
        UiMode expected_mode;
        std::optional<std::string> error;
        std::size_t samples;  // taken into the interface
    };
    const Case cases[] = {
        {"still running", UiMode::Scanning, Run::Running, UiMode::Scanning, std::nullopt, 0},
        {"failed", UiMode::Scanning, Run::Failed, UiMode::ShowFailure,
         "selected menu item is unavailable", 0},
        {"complete", UiMode::Scanning, Run::CompleteWithSamples, UiMode::ShowResult, std::nullopt,
         2},
        {"complete without samples", UiMode::Scanning, Run::CompleteWithout, UiMode::ShowFailure,
         "the completed scan has no available samples", 0},
        {"not scanning", UiMode::EditSweep, Run::CompleteWithout, UiMode::EditSweep, std::nullopt,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UiState state = build_ui_state(test::default_config(), "vireo.toml", {});
        state.ui_mode = c.mode;
        start_run(state.scan_state);
        switch (c.run) {
            case Run::Running:
                break;
            case Run::Failed:
                // Any recorded failure stands for the worker's.
                record_failure(state.scan_state, UiError(UiError::MenuSelection{}));
                break;
            case Run::CompleteWithSamples:
                complete_run(state.scan_state, "scan.csv", {{240, -80}, {800, -70}});
                break;
            case Run::CompleteWithout:
                lock_state(state.scan_state)->phase = ScanPhase::Complete;
                break;
        }
        poll_scan(state);
        EXPECT_EQ(state.ui_mode, c.expected_mode);
        EXPECT_EQ(error_text(state.scan_state), c.error);
        EXPECT_EQ(state.samples.size(), c.samples);
        if (c.samples > 0) {
            EXPECT_EQ(take_samples(state.scan_state), std::nullopt);
        }
    }
}

// h, j, k and l act as Left, Down, Up and Right on both editing screens; their upper-case forms
// do nothing.
TEST(HandleKey, LettersMoveLikeTheArrows) {
    UiState state = build_ui_state(test::default_config(), "vireo.toml",
                                   {{"A", UnknownPort{}}, {"B", UnknownPort{}}});
    state.port_list = make_list(state.port_names);
    state.baud_list = make_list({"19200", "38400", "57600", "115200", "230400"});
    ASSERT_TRUE(rebuild_lists(state).has_value());
    ASSERT_EQ(state.baud_state.selected, 3u);

    struct Step {
        tui::KeyEvent key;
        std::uint8_t focus;
        std::size_t port, baud;
        std::uint64_t start, stop;
    };
    const auto arrow = [](tui::KeyCode code) { return tui::KeyEvent{.code = code}; };
    const Step connection[] = {
        {chr(U'j'), 0, 1, 3, 240, 800},
        {chr(U'k'), 0, 0, 3, 240, 800},
        {chr(U'l'), 1, 0, 3, 240, 800},
        {chr(U'k'), 1, 0, 2, 240, 800},
        {arrow(tui::KeyCode::Down), 1, 0, 3, 240, 800},
        {chr(U'h'), 0, 0, 3, 240, 800},
        {chr(U'J'), 0, 0, 3, 240, 800},
        {chr(U'L'), 0, 0, 3, 240, 800},
    };
    for (const Step& step : connection) {
        SCOPED_TRACE(testing::Message() << "connection screen, key " << uint32_t(step.key.ch));
        handle_key(state, step.key);
        EXPECT_EQ(state.ui_mode, UiMode::SelectConnection);
        EXPECT_EQ(state.focus, step.focus);
        EXPECT_EQ(state.port_state.selected, step.port);
        EXPECT_EQ(state.baud_state.selected, step.baud);
        // The lists were decorated again for the focus.
        EXPECT_EQ(state.port_list->style.fg,
                  step.focus == 0 ? tui::Color::White : tui::Color::DarkGray);
    }

    state.ui_mode = UiMode::EditSweep;
    state.focus = 0;
    const Step sweep[] = {
        {chr(U'k'), 0, 0, 3, 250, 800}, {chr(U'j'), 0, 0, 3, 240, 800},
        {chr(U'l'), 1, 0, 3, 240, 800}, {chr(U'k'), 1, 0, 3, 240, 810},
        {chr(U'h'), 0, 0, 3, 240, 810}, {chr(U'K'), 0, 0, 3, 240, 810},
        {chr(U'H'), 0, 0, 3, 240, 810},
    };
    for (const Step& step : sweep) {
        SCOPED_TRACE(testing::Message() << "sweep screen, key " << uint32_t(step.key.ch));
        handle_key(state, step.key);
        EXPECT_EQ(state.ui_mode, UiMode::EditSweep);
        EXPECT_EQ(state.focus, step.focus);
        EXPECT_EQ(state.start_field.value, step.start);
        EXPECT_EQ(state.stop_field.value, step.stop);
        EXPECT_EQ(state.port_state.selected, step.port);
        EXPECT_EQ(state.baud_state.selected, step.baud);
    }
}

// The run's configuration is the loaded one with the user's six choices; every other key keeps
// its loaded value.
TEST(ConfigFromUi, TakesTheSixChoicesAndKeepsEveryOtherKey) {
    // Every section away from the defaults, so a key taken from anywhere else would show.
    Config loaded = test::default_config();
    loaded.port = "/dev/ttyACM9";
    loaded.baudrate = 19200;
    loaded.connection.backend = ConnectionBackend::Tcp;
    loaded.connection.tcp_address = "10.0.0.2:5000";
    loaded.connection.tcp_timeout_ms = 1234;
    loaded.serial.timeout_ms = 4321;
    loaded.serial.baudrates = {19200, 57600};
    loaded.serial.preferred_ports = {"/dev/ttyUSB3"};
    loaded.scan.zero_offset = 100;
    loaded.scan.max_points = 20001;
    loaded.scan.frequency_axis = FrequencyAxis::Inclusive;
    loaded.ui.poll_interval_ms = 40;
    loaded.ui.chart_min_dbm = -90.5;
    loaded.output.filename_prefix = "run";
    loaded.output.include_header = true;
    loaded.logging.filter = "debug";
    UiState state = build_ui_state(loaded, "vireo.toml", {{"/dev/ttyACM0", UnknownPort{}}});
    state.start_field.value = 100;
    state.stop_field.value = 200;
    state.points_field.value = 501;
    state.repeat_field.value = 3;

    const Config candidate = config_from_ui(state, "/dev/ttyACM0", 57600);

    Config expected = loaded;
    expected.port = "/dev/ttyACM0";
    expected.baudrate = 57600;
    expected.start_frequency = 100;
    expected.stop_frequency = 200;
    expected.points = 501;
    expected.repeat = 3;
    EXPECT_TRUE(candidate == expected);
    EXPECT_TRUE(state.config == loaded);
}

}  // namespace
}  // namespace vireo
