#include "acquisition/worker.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "instrument_double.hpp"
#include "log_capture.hpp"

namespace vireo {
namespace {

namespace fs = std::filesystem;

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vireo-worker-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The defaults with no delays, the TCP back end and the output in the test's directory.
    Config config_for(const std::string& address) const {
        Config config = *read_config_document(DEFAULT_CONFIG);
        config.connection.backend = ConnectionBackend::Tcp;
        config.connection.tcp_address = address;
        config.connection.tcp_timeout_ms = 2000;
        config.serial.timeout_ms = 2000;
        config.serial.command_delay_ms = 0;
        config.serial.settle_delay_ms = 0;
        config.serial.scan_delay_ms = 0;
        config.output.directory = dir_ / "out";
        return config;
    }

    // Starts the worker the way the interface does and waits until the run has ended.
    ScanStateHandle run(Config config, ScanRequest request,
                        ScanStateHandle state = make_scan_state()) {
        std::thread(acquisition_worker, AcquisitionJob{std::move(config), state, request}).detach();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            const ScanPhase now = phase(state);
            if (now == ScanPhase::Complete || now == ScanPhase::Failed) {
                // The worker may still hold its handle for a moment; wait until it lets go so
                // nothing of the run outlives the test.
                while (state.use_count() > 1) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                return state;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ADD_FAILURE() << "the run did not end";
        return state;
    }

    std::vector<fs::path> csv_files() const {
        std::vector<fs::path> files;
        if (fs::exists(dir_ / "out")) {
            for (const auto& entry : fs::directory_iterator(dir_ / "out")) {
                files.push_back(entry.path());
            }
        }
        return files;
    }

    fs::path dir_;
};

std::string number(double value) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return std::string(buffer, end.ptr);
}

// The file the double's spectrum implies for a request, on the firmware axis.
std::string expected_csv(const ScanRequest& request, std::uint16_t zero_offset) {
    std::string text;
    for (std::uint64_t i = 0; i < request.points; ++i) {
        const auto hz = sim::InstrumentDouble::point_frequency_hz(request.start_hz, request.stop_hz,
                                                                  request.points, i);
        const auto raw = sim::InstrumentDouble::raw_level(request.start_hz, request.stop_hz,
                                                          request.points, i, zero_offset);
        text += number(static_cast<double>(hz) / 1000000.0) + "," +
                number(raw * 0.03125 - zero_offset) + "\n";
    }
    return text;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const ScanRequest SWEEP{240000000, 800000000, 101, 1};

std::vector<std::string> diagnostics_and_setup(const std::string& zero, const std::string& mode) {
    return {"version",
            "info",
            "help",
            "leveloffset",
            "vbat",
            "usart_cfg",
            "threads",
            "marker",
            "repeat 1",
            "zero " + zero,
            "zero",
            "pause",
            mode,
            "sweep start 240000000",
            "sweep stop 800000000",
            "sweep",
            "scan 240000000 800000000 290 101",
            "scanraw 240000000 800000000 101",
            "resume"};
}

TEST_F(WorkerTest, SweepsEachModelIntoTheCsvTheSpectrumImplies) {
    struct Case {
        sim::Model model;
        std::uint16_t zero;
        std::string mode;
        std::string detected;
    };
    const Case cases[] = {
        {sim::Model::Basic, 128, "mode high input",
         "Detected tinySA Basic (native raw offset 128 dB)\n"},
        {sim::Model::Ultra, 174, "mode low input",
         "Detected tinySA Ultra family (native raw offset 174 dB)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.detected);
        fs::remove_all(dir_ / "out");
        sim::InstrumentDouble instrument(sim::Options{.model = c.model});
        const auto state = run(config_for(instrument.listen_tcp()), SWEEP);

        ASSERT_EQ(phase(state), ScanPhase::Complete) << error_text(state).value_or("");
        const auto files = csv_files();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(read_file(files[0]), expected_csv(SWEEP, c.zero));
        EXPECT_EQ(status_text(state), "Saved " + files[0].string());
        EXPECT_EQ(progress_percent(state), 100u);
        EXPECT_TRUE(info_text(state).starts_with(c.detected));
        {
            const auto locked = lock_state(state);
            ASSERT_TRUE(locked->samples.has_value());
            EXPECT_EQ(locked->samples->size(), SWEEP.points);
            EXPECT_EQ(locked->output_path, files[0]);
        }
        EXPECT_EQ(instrument.received_commands(),
                  diagnostics_and_setup(std::to_string(c.zero), c.mode));
    }
}

TEST_F(WorkerTest, SweepsOverTheSerialBackEnd) {
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Ultra});
    Config config = config_for("127.0.0.1:7355");
    config.connection.backend = ConnectionBackend::Serial;
    config.port = instrument.open_pty();
    const auto state = run(config, SWEEP);
    ASSERT_EQ(phase(state), ScanPhase::Complete) << error_text(state).value_or("");
    ASSERT_EQ(csv_files().size(), 1u);
    EXPECT_EQ(read_file(csv_files()[0]), expected_csv(SWEEP, 174));
}

TEST_F(WorkerTest, SweepsWithEveryNonDefaultSetting) {
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Ultra});
    Config config = config_for(instrument.listen_tcp());
    config.scan.frequency_axis = FrequencyAxis::Inclusive;
    config.output.include_header = true;
    config.scan.auto_zero_offset = false;
    config.scan.zero_offset = 100;
    config.scan.legacy_pre_scan = false;
    const auto state = run(config, SWEEP);

    ASSERT_EQ(phase(state), ScanPhase::Complete) << error_text(state).value_or("");
    // Inclusive: the points divide the span evenly, the last one on the stop frequency.
    std::string expected = "frequency_MHz,level_dBm\n";
    for (std::uint64_t i = 0; i < SWEEP.points; ++i) {
        const auto raw =
            sim::InstrumentDouble::raw_level(SWEEP.start_hz, SWEEP.stop_hz, SWEEP.points, i, 100);
        expected += number(static_cast<double>(240000000 + 5600000 * i) / 1000000.0) + "," +
                    number(raw * 0.03125 - 100) + "\n";
    }
    ASSERT_EQ(csv_files().size(), 1u);
    EXPECT_EQ(read_file(csv_files()[0]), expected);
    EXPECT_TRUE(expected.find("\n800,") != std::string::npos);

    auto commands = diagnostics_and_setup("100", "mode low input");
    std::erase(commands, "scan 240000000 800000000 290 101");
    EXPECT_EQ(instrument.received_commands(), commands);
}

// One published status and progress.
struct Step {
    std::string status;
    std::uint64_t progress;
    friend bool operator==(const Step&, const Step&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Step& step) {
        return out << step.status << " @ " << step.progress;
    }
};

// Every update a run publishes, step by step, as the interface could see it; the start and the
// completion replace them and are read after the run.
TEST_F(WorkerTest, PublishesTheStepsOfARunInOrder) {
    std::vector<Step> steps;
    ScanStateHandle fresh = make_scan_state();
    fresh->observer_for_testing = [&](const ScanState& record) {
        const Step step{record.status_text, record.progress_percent};
        if (steps.empty() || !(steps.back() == step)) {
            steps.push_back(step);
        }
    };
    // 30,005 bytes of frame: eight chunks.
    const ScanRequest large{240000000, 800000000, 10001, 1};
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Ultra});
    const ScanStateHandle state = run(config_for(instrument.listen_tcp()), large, std::move(fresh));
    ASSERT_EQ(phase(state), ScanPhase::Complete) << error_text(state).value_or("");

    const std::string saved = "Saved " + lock_state(state)->output_path->string();
    EXPECT_EQ(status_text(state), saved);
    EXPECT_EQ(progress_percent(state), 100u);
    const std::vector<Step> expected = {
        {"Identifying instrument", 0}, {"Identifying instrument", 5}, {"Configuring scan", 5},
        {"Configuring scan", 20},      {"Acquiring samples", 20},     {"Acquiring samples", 30},
        {"Acquiring samples", 40},     {"Acquiring samples", 50},     {"Acquiring samples", 60},
        {"Acquiring samples", 71},     {"Acquiring samples", 81},     {"Acquiring samples", 91},
        {"Acquiring samples", 95},     {"Acquisition complete", 95},  {"Acquisition complete", 99},
        {"Writing CSV", 99},
    };
    // The observer ran under the record's lock on the worker's thread.
    const auto seen = [&] {
        const auto locked = lock_state(state);
        return steps;
    }();
    EXPECT_EQ(seen, expected);
}

// The double notes when each command line arrives, before it answers, and may note it late.
// So each time is a lower bound for the prompt of that reply, and an upper bound for the write
// of that line: a gap can only be measured as too long, never as too short. After a prompt
// comes the second delay, before the next write; between two writes lie the first delay
// (the scan delay for the legacy "scan") and the second; "scanraw" has neither.
TEST_F(WorkerTest, WaitsTheConfiguredDelaysAroundEachCommand) {
    using std::chrono::milliseconds;
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Ultra});
    Config config = config_for(instrument.listen_tcp());
    config.serial.command_delay_ms = 200;
    config.serial.settle_delay_ms = 150;
    config.serial.scan_delay_ms = 30;
    const auto state = run(config, SWEEP);
    ASSERT_EQ(phase(state), ScanPhase::Complete) << error_text(state).value_or("");

    const auto commands = instrument.received_commands();
    const auto times = instrument.received_times();
    ASSERT_EQ(commands, diagnostics_and_setup("174", "mode low input"));
    ASSERT_EQ(times.size(), commands.size());
    const auto first = [&](std::size_t i) {
        return milliseconds(commands[i].starts_with("scanraw ") ? 0
                            : commands[i].starts_with("scan ")  ? 30
                                                                : 200);
    };
    const auto second = [&](std::size_t i) {
        return milliseconds(commands[i].starts_with("scanraw ") ? 0 : 150);
    };
    const auto gap = [&](std::size_t from, std::size_t to) {
        return std::chrono::duration_cast<milliseconds>(times[to] - times[from]);
    };
    // "resume" is the last; nothing after it to measure.
    for (std::size_t i = 0; i + 1 < commands.size(); ++i) {
        SCOPED_TRACE(commands[i]);
        EXPECT_GE(gap(i, i + 1), second(i));
        if (i > 0) {
            // Without the first delay this would be about two second delays; without the
            // second, about two first ones.
            EXPECT_GE(gap(i - 1, i + 1), second(i - 1) + first(i) + second(i));
        }
        if (commands[i].starts_with("scan ")) {
            // Had the command delay been waited too, the gap would be 380 ms at least.
            EXPECT_LT(gap(i, i + 1), milliseconds(330));
        }
    }
}

// What a failed run leaves in the shared state.
struct Outcome {
    std::string status;
    std::uint64_t progress;
    std::string error;
};

Outcome outcome_of(const ScanStateHandle& state) {
    EXPECT_EQ(phase(state), ScanPhase::Failed);
    return {status_text(state), progress_percent(state), error_text(state).value_or("(none)")};
}

TEST_F(WorkerTest, FailuresBeforeTheInstrumentIsPaused) {
    sim::InstrumentDouble instrument(sim::Options{
        .model = sim::Model::Basic, .fault = sim::FaultKind::Reject, .fault_command = "zero 128"});
    const std::string address = instrument.listen_tcp();

    Config invalid = config_for(address);
    invalid.logging.filter = " \t";
    auto state = run(invalid, SWEEP);
    EXPECT_EQ(outcome_of(state).status, "Opening connection");
    EXPECT_EQ(outcome_of(state).progress, 0u);
    EXPECT_EQ(outcome_of(state).error, "invalid configuration: logging.filter must not be empty");

    state = run(config_for(address), ScanRequest{800000000, 240000000, 101, 1});
    EXPECT_EQ(outcome_of(state).error,
              "invalid scan request: start frequency must not exceed stop frequency");
    EXPECT_TRUE(instrument.received_commands().empty());

    // A rejected zero offset ends the run before "pause": no "resume" follows.
    state = run(config_for(address), SWEEP);
    const Outcome rejected = outcome_of(state);
    EXPECT_EQ(rejected.status, "Configuring scan");
    EXPECT_EQ(rejected.progress, 5u);
    EXPECT_TRUE(rejected.error.starts_with("device rejected \"zero 128\": ")) << rejected.error;
    const auto commands = instrument.received_commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "zero 128");

    // An Ultra request the Basic's rules refuse fails before "help" is asked.
    state = run(config_for(address), ScanRequest{100000000, 900000000, 101, 1});
    EXPECT_EQ(outcome_of(state).error,
              "invalid scan request: a Basic span crossing 350 MHz must start at or above 240 MHz");
    EXPECT_EQ(instrument.received_commands().back(), "info");
}

// Failures in the dialogue before "pause": the run ends at once, with the status and progress
// of the step that failed, and the instrument is never sent "resume".
TEST_F(WorkerTest, InstrumentFailuresBeforePauseNeverResume) {
    struct Case {
        const char* name;
        sim::Options options;
        std::function<void(Config&)> adjust;
        std::string status;
        std::string error;
        bool identified;  // the identification text was published
        std::string last_command;
    };
    const Case cases[] = {
        {"empty version reply",
         {.model = sim::Model::Basic, .echo = false, .reply_overrides = {{"version", ""}}},
         {},
         "Identifying instrument",
         "the instrument returned an empty version or info reply",
         false,
         "info"},
        {"configured model differs",
         {.model = sim::Model::Basic},
         [](Config& c) { c.scan.device_model = DeviceModel::Ultra; },
         "Identifying instrument",
         "configured model tinySA Ultra family does not match detected tinySA Basic",
         false,
         "info"},
        {"missing scanraw",
         {.model = sim::Model::Ultra, .hidden_commands = {"scanraw"}},
         {},
         "Identifying instrument",
         "tinySA Ultra family firmware does not advertise required command \"scanraw\"",
         false,
         "help"},
        {"diagnostic command unanswered",
         {.model = sim::Model::Ultra, .fault = sim::FaultKind::NoPrompt, .fault_command = "vbat"},
         [](Config& c) { c.connection.tcp_timeout_ms = 200; },
         "Identifying instrument",
         "serial transport: Operation timed out",
         true,
         "vbat"},
        {"readback mismatch",
         {.model = sim::Model::Basic,
          .reply_overrides = {{"zero", "usage: zero {level}\r\n50dBm\r\n"}}},
         {},
         "Configuring scan",
         "raw-level offset readback is 50 dB after requesting 128 dB",
         true,
         "zero"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::InstrumentDouble instrument(c.options);
        Config config = config_for(instrument.listen_tcp());
        if (c.adjust) {
            c.adjust(config);
        }
        const auto state = run(config, SWEEP);
        const Outcome failed = outcome_of(state);
        EXPECT_EQ(failed.status, c.status);
        EXPECT_EQ(failed.progress, 5u);
        EXPECT_EQ(failed.error, c.error);
        EXPECT_EQ(info_text(state).starts_with("Detected "), c.identified) << info_text(state);
        const auto commands = instrument.received_commands();
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back(), c.last_command);
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "resume"), 0);
        EXPECT_TRUE(csv_files().empty());
    }
}

TEST_F(WorkerTest, ConnectionFailuresReadAsTheLinkSaysThem) {
    std::string address;
    {
        sim::InstrumentDouble gone;
        address = gone.listen_tcp();
    }
    const auto state = run(config_for(address), SWEEP);
    EXPECT_EQ(outcome_of(state).status, "Opening connection");
    EXPECT_EQ(outcome_of(state).error, "TCP connection: Connection refused (os error 111)");

    Config serial = config_for(address);
    serial.connection.backend = ConnectionBackend::Serial;
    serial.port = (dir_ / "no-such-port").string();
    EXPECT_EQ(outcome_of(run(serial, SWEEP)).error, "serial connection: No such file or directory");
}

TEST_F(WorkerTest, EveryWayOutAfterPausePassesThroughResume) {
    struct Case {
        const char* name;
        sim::Options options;
        std::string status;
        std::uint64_t progress;
        std::string error_start;
        std::string last_sweep_command;  // the sweep stops here; only "resume" follows
    };
    const std::string scanraw = "scanraw 240000000 800000000 101";
    const Case cases[] = {
        {"rejected pause",
         {.model = sim::Model::Ultra, .fault = sim::FaultKind::Reject, .fault_command = "pause"},
         "Configuring scan",
         20,
         "device rejected \"pause\": ",
         "pause"},
        {"rejected input mode",
         {.model = sim::Model::Ultra, .fault = sim::FaultKind::Reject, .fault_command = "mode"},
         "Configuring scan",
         20,
         "device rejected \"mode low input\": ",
         "mode low input"},
        {"bad frame, resume fine",
         {.model = sim::Model::Ultra, .fault = sim::FaultKind::BadAlignment, .fault_count = 5},
         "Acquiring samples",
         95,
         "sample 5 has alignment byte 0x58; expected 0x78",
         scanraw},
        {"good frame, resume rejected",
         {.model = sim::Model::Ultra, .fault = sim::FaultKind::Reject, .fault_command = "resume"},
         "Acquiring samples",
         95,
         "device rejected \"resume\": ",
         scanraw},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::InstrumentDouble instrument(c.options);
        const Outcome failed = outcome_of(run(config_for(instrument.listen_tcp()), SWEEP));
        EXPECT_EQ(failed.status, c.status);
        EXPECT_EQ(failed.progress, c.progress);
        EXPECT_TRUE(failed.error.starts_with(c.error_start)) << failed.error;
        const auto commands = instrument.received_commands();
        ASSERT_GE(commands.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(commands.end() - 2, commands.end()),
                  (std::vector<std::string>{c.last_sweep_command, "resume"}));
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "resume"), 1);
        EXPECT_TRUE(csv_files().empty());
    }
}

TEST_F(WorkerTest, AFailedFrameAndAFailedResumeAreReportedTogether) {
    // The peer closes mid-frame: the frame read ends early, and "resume" can't be answered.
    const ScanRequest large{240000000, 800000000, 10001, 1};
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Ultra,
                                                  .fault = sim::FaultKind::CloseAfterBytes,
                                                  .fault_count = 20000});
    const auto state = run(config_for(instrument.listen_tcp()), large);
    const Outcome failed = outcome_of(state);
    // Whether the resume's write or its reply fails first depends on the peer's timing.
    EXPECT_TRUE(
        failed.error.starts_with("serial transport: failed to fill whole buffer; "
                                 "additionally, resume failed: serial transport: "))
        << failed.error;
    EXPECT_EQ(failed.status, "Acquiring samples");
    EXPECT_GT(failed.progress, 20u);
    EXPECT_LT(failed.progress, 95u);
    EXPECT_TRUE(csv_files().empty());
}

// An exchange after "pause" that fails part-way leaves the rest of its reply and its prompt
// coming. Read as the reply to "resume", they would hide that the instrument refused to resume.
TEST_F(WorkerTest, WhatAFailedExchangeLeftIsNotTakenForTheResumeReply) {
    using namespace std::chrono_literals;
    // The link's read time-out. The late reply comes 50 ms after it, halfway into the quiet
    // time after which the discard gives up: too late for its command, in time for the discard.
    constexpr std::uint64_t TIMEOUT_MS = 300;
    const std::string refused =
        "; additionally, resume failed: device rejected \"resume\":  resume\r\nerror: not "
        "paused\r\n";
    struct Case {
        const char* name;
        sim::Options options;
        std::string status;
        std::uint64_t progress;
        std::string sweep_error;
    };
    const Case cases[] = {
        {"frame without its closing brace",
         {.model = sim::Model::Ultra, .fault = sim::FaultKind::NoClosingBrace},
         "Acquiring samples",
         95,
         "raw scan is missing its closing brace"},
        {"set-up command answered after its time-out",
         {.model = sim::Model::Ultra,
          .reply_delay = std::chrono::milliseconds(TIMEOUT_MS) + 50ms,
          .fault = sim::FaultKind::LateReply,
          .fault_command = "sweep start 240000000"},
         "Configuring scan",
         20,
         "serial transport: Operation timed out"},
        {"set-up reply longer than the limit",
         {.model = sim::Model::Ultra,
          .fault = sim::FaultKind::OversizedReply,
          .fault_count = 70000,
          .fault_command = "sweep stop 800000000"},
         "Configuring scan",
         20,
         "serial response exceeds 65536 bytes"},
    };
    for (const auto& c : cases) {
        for (const bool serial : {false, true}) {
            SCOPED_TRACE(fmt::format("{} over {}", c.name, serial ? "serial" : "TCP"));
            sim::Options options = c.options;
            options.reply_overrides = {{"resume", "error: not paused\r\n"}};
            sim::InstrumentDouble instrument(options);
            Config config = config_for(serial ? "127.0.0.1:7355" : instrument.listen_tcp());
            if (serial) {
                config.connection.backend = ConnectionBackend::Serial;
                config.port = instrument.open_pty();
            }
            config.connection.tcp_timeout_ms = TIMEOUT_MS;
            config.serial.timeout_ms = TIMEOUT_MS;
            const Outcome failed = outcome_of(run(config, SWEEP));
            EXPECT_EQ(failed.status, c.status);
            EXPECT_EQ(failed.progress, c.progress);
            EXPECT_EQ(failed.error, c.sweep_error + refused);
            EXPECT_EQ(instrument.received_commands().back(), "resume");
            EXPECT_TRUE(csv_files().empty());
        }
    }
}

TEST_F(WorkerTest, ACsvFailureKeepsTheLastStatus) {
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Ultra});
    Config config = config_for(instrument.listen_tcp());
    std::ofstream(dir_ / "file") << "in the way";
    config.output.directory = dir_ / "file" / "out";
    const auto state = run(config, SWEEP);
    const Outcome failed = outcome_of(state);
    EXPECT_EQ(failed.status, "Writing CSV");
    EXPECT_EQ(failed.progress, 99u);
    EXPECT_TRUE(failed.error.starts_with("I/O: ")) << failed.error;
    EXPECT_FALSE(lock_state(state)->samples.has_value());
}

TEST_F(WorkerTest, LogsTheFailureAndTheDiagnosticReplies) {
    sim::InstrumentDouble instrument(sim::Options{
        .model = sim::Model::Ultra, .fault = sim::FaultKind::Reject, .fault_command = "pause"});
    const testing::LogCapture capture(log::Level::Debug);
    const Outcome failed = outcome_of(run(config_for(instrument.listen_tcp()), SWEEP));

    std::vector<std::string> diagnostics;
    std::vector<testing::CapturedRecord> errors;
    for (const auto& record : capture.records()) {
        if (record.level == log::Level::Debug && record.target == "vireo::acquisition") {
            diagnostics.push_back(record.message.substr(0, record.message.find(':')));
        } else {
            errors.push_back(record);
        }
    }
    EXPECT_EQ(diagnostics,
              (std::vector<std::string>{"leveloffset", "vbat", "usart_cfg", "threads", "marker"}));
    EXPECT_EQ(
        errors,
        (std::vector<testing::CapturedRecord>{{log::Level::Error, "vireo::scan", failed.error}}));
}

TEST(FrameProgress, RisesFromTwentyToNinetyFivePerChunk) {
    struct Case {
        std::uint64_t points;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {2, {95}},
        {1365, {95}},
        {1366, {94, 95}},
        {10001, {30, 40, 50, 60, 71, 81, 91, 95}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.points);
        const std::uint64_t total = 3 * c.points + 2;
        std::vector<int> reported;
        for (std::uint64_t received = 1; received < total;) {
            received += std::min<std::uint64_t>(4096, total - received);
            reported.push_back(frame_progress_percent(received, total));
        }
        EXPECT_EQ(reported, c.expected);
    }
}

}  // namespace
}  // namespace vireo
