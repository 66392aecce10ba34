#include "acquisition/worker.hpp"

#include <chrono>
#include <expected>
#include <utility>
#include <vector>

#include "acquisition/csv_output.hpp"
#include "app/app_error.hpp"
#include "config/validate.hpp"
#include "protocol/acquisition_error.hpp"
#include "protocol/identification.hpp"
#include "protocol/model_profile.hpp"
#include "protocol/raw_frame.hpp"
#include "transport/device_link.hpp"
#include "transport/exchange.hpp"

namespace vireo {

namespace {

using std::chrono::milliseconds;

AcquisitionError invalid_request(std::string message) {
    return AcquisitionError::Protocol{ProtocolError::InvalidRequest{std::move(message)}};
}

AppError acquisition_failure(AcquisitionError error) {
    return AppError::Acquisition{std::move(error)};
}

struct Delays {
    milliseconds command;
    milliseconds settle;
};

// The read time-out of the link's back end.
milliseconds link_timeout(const Config& config) {
    return milliseconds(config.connection.backend == ConnectionBackend::Tcp
                            ? config.connection.tcp_timeout_ms
                            : config.serial.timeout_ms);
}

// Steps 13 to 16 after a successful set-up: read the frame and decode it.
std::expected<std::vector<Sample>, AcquisitionError> acquire_samples(DeviceLink& link,
                                                                     const Config& config,
                                                                     const ScanRequest& request,
                                                                     std::uint16_t zero_offset,
                                                                     const ScanStateHandle& state) {
    apply_update(state, SetStatus{"Acquiring samples"});
    auto frame = read_raw_frame(link, request, [&](std::uint64_t received, std::uint64_t total) {
        apply_update(state, SetProgress{frame_progress_percent(received, total)});
    });
    if (!frame) {
        return std::unexpected(AcquisitionError::Transport{std::move(frame.error())});
    }
    auto samples = decode_raw_scan(*frame, request, zero_offset, config.scan.frequency_axis);
    if (!samples) {
        return std::unexpected(AcquisitionError::Protocol{std::move(samples.error())});
    }
    return std::move(*samples);
}

// Sends "resume" after a sweep that got as far as "pause", whatever its outcome, and decides
// what the run ends with.
std::expected<std::vector<Sample>, AcquisitionError> resume_after_sweep(
    DeviceLink& link, const Config& config, Delays delays,
    std::expected<std::vector<Sample>, AcquisitionError> sweep) {
    if (!sweep) {
        // What a failed exchange left coming (the rest of a broken-off frame or reply, a reply
        // that came after its time-out) must not be read as the reply to "resume".
        discard_pending(link, link_timeout(config));
    }
    auto resumed = send_command(link, "resume", delays.command, delays.settle);
    if (resumed) {
        return sweep;
    }
    if (sweep) {
        return std::unexpected(AcquisitionError::Transport{std::move(resumed.error())});
    }
    return std::unexpected(
        AcquisitionError::Recovery{std::move(sweep.error()), std::move(resumed.error())});
}

// From the open link to the samples: identification, profile, command set, diagnostics,
// set-up, frame, resume.
std::expected<std::vector<Sample>, AcquisitionError> drive_instrument(
    DeviceLink& link, const Config& config, const ScanRequest& request,
    const ScanStateHandle& state) {
    const Delays delays{milliseconds(config.serial.command_delay_ms),
                        milliseconds(config.serial.settle_delay_ms)};

    apply_update(state, SetStatus{"Identifying instrument"});
    apply_update(state, SetProgress{5});
    if (auto drained = drain_prompt(link); !drained) {
        return std::unexpected(AcquisitionError::Transport{std::move(drained.error())});
    }
    auto identity =
        identify_instrument(link, delays.command, delays.settle, config.scan.device_model);
    if (!identity) {
        return std::unexpected(std::move(identity.error()));
    }

    // Tests the request once more, then against the detected model's frequency rules.
    auto profile = model_profile(identity->detected_model, request);
    if (!profile) {
        return std::unexpected(AcquisitionError::Protocol{std::move(profile.error())});
    }

    auto help = check_required_commands(link, delays.command, delays.settle,
                                        config.scan.legacy_pre_scan, identity->detected_model);
    if (!help) {
        return std::unexpected(std::move(help.error()));
    }
    apply_update(state, SetInfo{identification_text(*identity, profile->native_zero_offset)});
    if (auto queried = query_diagnostics(link, delays.command, delays.settle, *help); !queried) {
        return std::unexpected(std::move(queried.error()));
    }

    auto setup = configure_scan(link, config, request, *profile, state);
    if (!setup && !setup.error().pause_attempted) {
        return std::unexpected(std::move(setup.error().error));
    }
    // From "pause" on, every way out passes through "resume".
    auto sweep = setup ? acquire_samples(link, config, request, setup->zero_offset, state)
                       : std::unexpected(std::move(setup.error().error));
    auto samples = resume_after_sweep(link, config, delays, std::move(sweep));
    if (samples) {
        apply_update(state, SetStatus{"Acquisition complete"});
        apply_update(state, SetProgress{100});
    }
    return samples;
}

// The whole run. The link lives only inside, so it is closed before a failure is recorded,
// and after Complete is published.
std::expected<void, AppError> run(const AcquisitionJob& job, const ScanStateHandle& state) {
    const Config& config = job.config;
    if (auto valid = validate(config); !valid) {
        return std::unexpected(AppError::Config{std::move(valid.error())});
    }
    if (auto valid = validate_request(job.request); !valid) {
        return std::unexpected(acquisition_failure(invalid_request(std::move(valid.error()))));
    }
    auto link = open_link(config);
    if (!link) {
        return std::unexpected(AppError::Connection{std::move(link.error())});
    }
    if (auto valid = validate_request(job.request); !valid) {
        return std::unexpected(acquisition_failure(invalid_request(std::move(valid.error()))));
    }

    auto samples = drive_instrument(*link, config, job.request, state);
    if (!samples) {
        return std::unexpected(acquisition_failure(std::move(samples.error())));
    }

    apply_update(state, SetStatus{"Writing CSV"});
    auto path = write_scan_csv(config.output, *samples);
    if (!path) {
        return std::unexpected(AppError::Io{std::move(path.error())});
    }
    complete_run(state, std::move(*path), std::move(*samples));
    return {};
}

}  // namespace

std::uint8_t frame_progress_percent(std::uint64_t received, std::uint64_t total) {
    if (total == 0) {
        return 20;
    }
    return static_cast<std::uint8_t>(20 + (75 * received) / total);
}

void acquisition_worker(AcquisitionJob job) {
    const ScanStateHandle state = job.state;
    start_run(state);
    if (auto result = run(job, state); !result) {
        record_failure(state, std::move(result.error()));
    }
}

}  // namespace vireo
