#pragma once
// The record the acquisition worker and the interface share, behind one mutex, and the few
// locked operations through which both sides read and write it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/log.hpp"
#include "scan/sample.hpp"

namespace vireo {

// Where a run stands; Complete and Failed are final.
enum class ScanPhase : std::uint8_t { Ready, Running, Complete, Failed };

// "Ready", "Running", "Complete", "Failed".
std::string_view debug(ScanPhase phase);

// What the worker publishes and the interface shows.
struct ScanState {
    std::string status_text;
    std::string info_text;
    std::optional<std::vector<Sample>> samples;
    std::optional<std::filesystem::path> output_path;
    std::optional<std::string> error_text;
    std::uint64_t progress_percent = 0;  // 0..=100; only the completion step stores 100
    ScanPhase phase = ScanPhase::Ready;
};

// The record with the one mutex that guards it.
struct SharedScanState {
    std::mutex mutex;
    ScanState record;
    // Test seam: sees the record after each apply_update, under the lock, so a test can follow
    // the steps of a run that replace each other faster than any reader could look. Start,
    // completion and failure stay in the record and are read through the accessors. Unset in
    // the program.
    std::function<void(const ScanState&)> observer_for_testing;
};

// Shared by the interface and the worker; the record lives as long as either holds it.
using ScanStateHandle = std::shared_ptr<SharedScanState>;

// A fresh record in phase Ready.
ScanStateHandle make_scan_state();

// Exclusive access to the record for as long as the guard lives.
class LockedScanState {
  public:
    explicit LockedScanState(SharedScanState& shared)
        : lock_(shared.mutex), record_(&shared.record) {}

    ScanState& operator*() const { return *record_; }
    ScanState* operator->() const { return record_; }

  private:
    std::unique_lock<std::mutex> lock_;
    ScanState* record_;
};

// Locks the record. Keep the guard for one short read or write, never across I/O.
LockedScanState lock_state(const ScanStateHandle& handle);

// One value the worker publishes during a run.
struct SetStatus {
    std::string_view text;  // a constant of the program
};
struct SetProgress {
    std::uint8_t percent;  // stored capped at 99
};
struct SetInfo {
    std::string text;
};
using ScanUpdate = std::variant<SetStatus, SetProgress, SetInfo>;

// Applies one update under the lock.
void apply_update(const ScanStateHandle& handle, ScanUpdate update);

// Interface reads, each one locked copy.
ScanPhase phase(const ScanStateHandle& handle);
std::string status_text(const ScanStateHandle& handle);
std::optional<std::string> error_text(const ScanStateHandle& handle);
std::string info_text(const ScanStateHandle& handle);
std::uint64_t progress_percent(const ScanStateHandle& handle);
// Moves the samples out, leaving none in the record.
std::optional<std::vector<Sample>> take_samples(const ScanStateHandle& handle);

// The worker's first step: phase Running and status "Opening connection"; nothing else changes.
void start_run(const ScanStateHandle& handle);
// The worker's last step: status "Saved {path}", the path, the samples, progress 100 and phase
// Complete, in one locked step.
void complete_run(const ScanStateHandle& handle, std::filesystem::path output_path,
                  std::vector<Sample> samples);

namespace scan_detail {
// Stores a failure's text and phase Failed; status and progress stay as they were.
void store_failure(const ScanStateHandle& handle, std::string text);
}  // namespace scan_detail

// Logs a failure (Error on "vireo::scan", unless logging is off) and publishes its display text
// with phase Failed. Works for any error type with a `display` free function.
template <class E>
requires requires(const E& e) {
    std::string(display(e));
}
void record_failure(const ScanStateHandle& handle, E error) {
    std::string text(display(std::as_const(error)));
    if (log::max_level() != log::Level::Off) {
        log::write(log::Level::Error, "vireo::scan", text);
    }
    scan_detail::store_failure(handle, std::move(text));
}

}  // namespace vireo
