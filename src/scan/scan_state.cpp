#include "scan/scan_state.hpp"

#include <algorithm>

#include <fmt/format.h>

#include "common/overloaded.hpp"

namespace vireo {

std::string_view debug(ScanPhase phase) {
    switch (phase) {
        case ScanPhase::Ready:
            return "Ready";
        case ScanPhase::Running:
            return "Running";
        case ScanPhase::Complete:
            return "Complete";
        case ScanPhase::Failed:
            return "Failed";
    }
    return "Ready";
}

ScanStateHandle make_scan_state() {
    return std::make_shared<SharedScanState>();
}

LockedScanState lock_state(const ScanStateHandle& handle) {
    return LockedScanState(*handle);
}

void apply_update(const ScanStateHandle& handle, ScanUpdate update) {
    const auto state = lock_state(handle);
    std::visit(Overloaded{
                   [&](SetStatus& u) { state->status_text.assign(u.text); },
                   [&](SetProgress& u) {
                       state->progress_percent = std::min<std::uint8_t>(u.percent, 99);
                   },
                   [&](SetInfo& u) { state->info_text = std::move(u.text); },
               },
               update);
    if (handle->observer_for_testing) {
        handle->observer_for_testing(*state);
    }
}

ScanPhase phase(const ScanStateHandle& handle) {
    return lock_state(handle)->phase;
}

std::string status_text(const ScanStateHandle& handle) {
    return lock_state(handle)->status_text;
}

std::optional<std::string> error_text(const ScanStateHandle& handle) {
    return lock_state(handle)->error_text;
}

std::string info_text(const ScanStateHandle& handle) {
    return lock_state(handle)->info_text;
}

std::uint64_t progress_percent(const ScanStateHandle& handle) {
    return lock_state(handle)->progress_percent;
}

std::optional<std::vector<Sample>> take_samples(const ScanStateHandle& handle) {
    const auto state = lock_state(handle);
    return std::exchange(state->samples, std::nullopt);
}

void start_run(const ScanStateHandle& handle) {
    const auto state = lock_state(handle);
    state->phase = ScanPhase::Running;
    state->status_text = "Opening connection";
}

void complete_run(const ScanStateHandle& handle, std::filesystem::path output_path,
                  std::vector<Sample> samples) {
    const auto state = lock_state(handle);
    state->status_text = fmt::format("Saved {}", output_path.string());
    state->output_path = std::move(output_path);
    state->samples = std::move(samples);
    state->progress_percent = 100;
    state->phase = ScanPhase::Complete;
}

namespace scan_detail {

void store_failure(const ScanStateHandle& handle, std::string text) {
    const auto state = lock_state(handle);
    state->error_text = std::move(text);
    state->phase = ScanPhase::Failed;
}

}  // namespace scan_detail

}  // namespace vireo
