#pragma once
// The detected model's frequency rules and set-up values, and the commands that prepare the
// sweep: repeat count, zero offset with its readback, pause, input mode and range.

#include <cstdint>
#include <expected>
#include <string_view>

#include "config/config.hpp"
#include "protocol/acquisition_error.hpp"
#include "protocol/instrument_model.hpp"
#include "protocol/protocol_error.hpp"
#include "scan/scan_request.hpp"
#include "scan/scan_state.hpp"

namespace vireo {

class DeviceLink;

// How a run sets up the detected model.
struct ModelProfile {
    std::string_view input_mode;       // "mode low input" or "mode high input"
    std::uint16_t native_zero_offset;  // 128 for a Basic, 174 for an Ultra

    friend bool operator==(const ModelProfile&, const ModelProfile&) = default;
};

// Checks the request's bounds once more, then against the model's frequency limits;
// InvalidRequest carries the failed check's message.
std::expected<ModelProfile, ProtocolError> model_profile(InstrumentModel model,
                                                         const ScanRequest& request);

// The native offset when scan.auto_zero_offset is on, else scan.zero_offset.
std::uint16_t zero_offset_in_effect(const ScanConfig& scan, const ModelProfile& profile);

// True for the characters stripped from both ends of a readback token: everything but ASCII
// letters, digits and "-".
bool is_readback_trim_char(char32_t c);

// Finds the first "{number}dBm" token of the bare "zero" reply and compares it with the
// requested offset.
std::expected<void, AcquisitionError> confirm_zero(std::string_view reply, std::uint16_t requested);

// configure_scan succeeded: the instrument is paused and set up.
struct ScanSetup {
    std::uint16_t zero_offset;  // in effect; the frame decoder subtracts it
};

// configure_scan failed. Once "pause" was attempted, the caller must send "resume".
struct ScanSetupFailure {
    AcquisitionError error;
    bool pause_attempted;
};

// Publishes "Configuring scan", sends the repeat count and the zero offset and confirms it
// (then progress 20), then "pause", the input mode, the range, "sweep" and, with
// scan.legacy_pre_scan, the legacy text scan. On success "pause" was sent, so "resume" is due.
std::expected<ScanSetup, ScanSetupFailure> configure_scan(DeviceLink& link, const Config& config,
                                                          const ScanRequest& request,
                                                          const ModelProfile& profile,
                                                          const ScanStateHandle& state);

}  // namespace vireo
