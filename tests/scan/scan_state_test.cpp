#include "scan/scan_state.hpp"

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "log_capture.hpp"
#include "transport/transport_error.hpp"

namespace vireo {
namespace {

// Any error with a display text can be recorded; this one lives outside the program's types.
struct FakeError {
    std::string text;
};
std::string display(const FakeError& error) {
    return error.text;
}

TEST(ScanState, FreshRecordIsReadyAndEmpty) {
    const auto state = make_scan_state();
    EXPECT_EQ(phase(state), ScanPhase::Ready);
    EXPECT_EQ(status_text(state), "");
    EXPECT_EQ(error_text(state), std::nullopt);
    EXPECT_EQ(info_text(state), "");
    EXPECT_EQ(progress_percent(state), 0u);
    EXPECT_EQ(take_samples(state), std::nullopt);
}

TEST(ScanState, PhaseDebugNames) {
    EXPECT_EQ(debug(ScanPhase::Ready), "Ready");
    EXPECT_EQ(debug(ScanPhase::Running), "Running");
    EXPECT_EQ(debug(ScanPhase::Complete), "Complete");
    EXPECT_EQ(debug(ScanPhase::Failed), "Failed");
}

TEST(ScanState, ProgressUpdatesAreCappedAt99) {
    struct Case {
        std::uint8_t sent;
        std::uint64_t stored;
    };
    const Case cases[] = {{0, 0}, {5, 5}, {98, 98}, {99, 99}, {100, 99}, {255, 99}};
    const auto state = make_scan_state();
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.sent));
        apply_update(state, SetProgress{c.sent});
        EXPECT_EQ(progress_percent(state), c.stored);
    }
}

TEST(ScanState, StatusAndInfoUpdatesReplaceTheirText) {
    const auto state = make_scan_state();
    apply_update(state, SetStatus{"Identifying instrument"});
    apply_update(state, SetStatus{"Configuring scan"});
    apply_update(state, SetInfo{"first"});
    apply_update(state, SetInfo{"Detected tinySA Basic"});
    EXPECT_EQ(status_text(state), "Configuring scan");
    EXPECT_EQ(info_text(state), "Detected tinySA Basic");
    EXPECT_EQ(phase(state), ScanPhase::Ready);
}

TEST(ScanState, StartSetsOnlyPhaseAndStatus) {
    const auto state = make_scan_state();
    apply_update(state, SetInfo{"left over"});
    apply_update(state, SetProgress{42});
    start_run(state);
    EXPECT_EQ(phase(state), ScanPhase::Running);
    EXPECT_EQ(status_text(state), "Opening connection");
    EXPECT_EQ(info_text(state), "left over");
    EXPECT_EQ(progress_percent(state), 42u);
    EXPECT_EQ(error_text(state), std::nullopt);
}

TEST(ScanState, CompletionStoresEverythingAndSamplesAreTakenOnce) {
    const auto state = make_scan_state();
    start_run(state);
    apply_update(state, SetProgress{100});
    const std::vector<Sample> samples{{240.0, -80.5}, {800.0, -90.25}};
    complete_run(state, "out/scan_1.csv", samples);

    EXPECT_EQ(phase(state), ScanPhase::Complete);
    EXPECT_EQ(status_text(state), "Saved out/scan_1.csv");
    EXPECT_EQ(progress_percent(state), 100u);
    EXPECT_EQ(lock_state(state)->output_path, std::filesystem::path("out/scan_1.csv"));
    EXPECT_EQ(take_samples(state), samples);
    EXPECT_EQ(take_samples(state), std::nullopt);
}

TEST(ScanState, FailureKeepsStatusAndProgress) {
    testing::LogCapture capture(log::Level::Info);
    const auto state = make_scan_state();
    start_run(state);
    apply_update(state, SetStatus{"Acquiring samples"});
    apply_update(state, SetProgress{60});

    record_failure(state, FakeError{"raw scan is missing its closing brace"});

    EXPECT_EQ(phase(state), ScanPhase::Failed);
    EXPECT_EQ(status_text(state), "Acquiring samples");
    EXPECT_EQ(progress_percent(state), 60u);
    EXPECT_EQ(error_text(state), "raw scan is missing its closing brace");
    const std::vector<testing::CapturedRecord> expected{
        {log::Level::Error, "vireo::scan", "raw scan is missing its closing brace"}};
    EXPECT_EQ(capture.records(), expected);
}

TEST(ScanState, SecondFailureReplacesTheFirst) {
    testing::LogCapture capture(log::Level::Error);
    const auto state = make_scan_state();
    record_failure(state, FakeError{"first"});
    record_failure(state, TransportError(TransportError::InvalidCommand{}));
    EXPECT_EQ(error_text(state), "a shell command must be one nonempty printable ASCII line");
    EXPECT_EQ(phase(state), ScanPhase::Failed);
    EXPECT_EQ(capture.records().size(), 2u);
}

TEST(ScanState, FailureIsStoredWithLoggingOff) {
    testing::LogCapture capture(log::Level::Off);
    const auto state = make_scan_state();
    record_failure(state, FakeError{"no port selected"});
    EXPECT_EQ(phase(state), ScanPhase::Failed);
    EXPECT_EQ(error_text(state), "no port selected");
    EXPECT_TRUE(capture.records().empty());
}

TEST(ScanState, CompleteRunWithoutSamplesCanStillFail) {
    testing::LogCapture capture(log::Level::Off);
    const auto state = make_scan_state();
    complete_run(state, "scan.csv", {});
    ASSERT_TRUE(take_samples(state).has_value());
    record_failure(state, FakeError{"no data was returned"});
    EXPECT_EQ(phase(state), ScanPhase::Failed);
    EXPECT_EQ(progress_percent(state), 100u);
}

// A worker thread publishing while the interface thread reads, as in a run; the sanitizer
// builds catch any access that bypasses the lock.
TEST(ScanState, WorkerAndInterfaceThreadsShareTheRecord) {
    testing::LogCapture capture(log::Level::Error);
    const auto state = make_scan_state();
    constexpr int ROUNDS = 20000;

    std::thread worker([handle = state] {
        start_run(handle);
        for (int i = 0; i < ROUNDS; ++i) {
            apply_update(handle, SetStatus{i % 2 == 0 ? "Acquiring samples" : "Configuring scan"});
            apply_update(handle, SetProgress{static_cast<std::uint8_t>(i % 256)});
            apply_update(handle, SetInfo{std::string(static_cast<std::size_t>(i % 64), 'x')});
        }
        record_failure(handle, FakeError{"done"});
    });

    std::uint64_t max_progress = 0;
    bool bad_status = false;
    while (phase(state) != ScanPhase::Failed) {
        max_progress = std::max(max_progress, progress_percent(state));
        const std::string status = status_text(state);
        bad_status = bad_status || (status != "" && status != "Opening connection" &&
                                    status != "Acquiring samples" && status != "Configuring scan");
        const std::string info = info_text(state);
        bad_status = bad_status || info.find_first_not_of('x') != std::string::npos;
        (void)error_text(state);
    }
    worker.join();

    EXPECT_LE(max_progress, 99u);
    EXPECT_FALSE(bad_status);
    EXPECT_EQ(error_text(state), "done");
    EXPECT_EQ(capture.records().size(), 1u);
}

}  // namespace
}  // namespace vireo
