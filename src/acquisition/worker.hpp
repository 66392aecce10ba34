#pragma once
// The body of the program's one background thread: one whole sweep from connection to CSV
// file, reported through the shared scan state.

#include <cstdint>

#include "config/config.hpp"
#include "scan/scan_request.hpp"
#include "scan/scan_state.hpp"

namespace vireo {

// Everything the worker thread is given; moved to it when it starts.
struct AcquisitionJob {
    Config config;
    ScanStateHandle state;
    ScanRequest request;
};

// Runs the sweep and publishes its progress, result or failure. Returns nothing to anyone;
// started on a detached thread.
void acquisition_worker(AcquisitionJob job);

// The progress shown while the frame arrives: 20 + 75 * received / total, in integers.
std::uint8_t frame_progress_percent(std::uint64_t received, std::uint64_t total);

}  // namespace vireo
