#include "protocol/model_profile.hpp"

#include <chrono>
#include <string>

#include <fmt/format.h>

#include "common/text.hpp"
#include "transport/exchange.hpp"

namespace vireo {

namespace {

constexpr std::string_view LOW_INPUT = "mode low input";
constexpr std::string_view HIGH_INPUT = "mode high input";

constexpr std::string_view ULTRA_LIMIT =
    "tinySA Ultra first-tier support is limited to the common 0.1\u2013800 MHz normal range; "
    "extended and harmonic modes are not enabled";
constexpr std::string_view BASIC_LIMIT = "tinySA Basic frequencies must be within 0\u2013960 MHz";
constexpr std::string_view BASIC_CROSSING =
    "a Basic span crossing 350 MHz must start at or above 240 MHz";

std::unexpected<ProtocolError> invalid_request(std::string_view message) {
    return std::unexpected(ProtocolError(ProtocolError::InvalidRequest{std::string(message)}));
}

// The token without leading and trailing trim characters.
std::string_view trim_readback_token(std::string_view token) {
    std::size_t begin = token.size();
    std::size_t end = 0;
    std::size_t pos = 0;
    while (pos < token.size()) {
        const DecodedChar d = decode_utf8(token.substr(pos));
        if (!is_readback_trim_char(d.code_point)) {
            begin = std::min(begin, pos);
            end = pos + d.length;
        }
        pos += d.length;
    }
    return begin < end ? token.substr(begin, end - begin) : std::string_view();
}

std::optional<std::uint16_t> parse_u16(std::string_view digits) {
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > 65535) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<std::uint16_t> readback_value(std::string_view reply) {
    for (const std::string_view token : split_unicode_whitespace(reply)) {
        const std::string text = ascii_lowercase(trim_readback_token(token));
        const std::string_view view = text;
        if (!view.ends_with("dbm")) {
            continue;
        }
        if (const auto value = parse_u16(view.substr(0, view.size() - 3))) {
            return value;
        }
    }
    return std::nullopt;
}

std::chrono::milliseconds millis(std::uint64_t value) {
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(value));
}

}  // namespace

std::expected<ModelProfile, ProtocolError> model_profile(InstrumentModel model,
                                                         const ScanRequest& request) {
    if (auto valid = validate_request(request); !valid) {
        return invalid_request(valid.error());
    }
    switch (model) {
        case InstrumentModel::Ultra:
            if (request.start_hz < 100000 || request.stop_hz > 800000000) {
                return invalid_request(ULTRA_LIMIT);
            }
            return ModelProfile{LOW_INPUT, 174};
        case InstrumentModel::Basic:
            if (request.stop_hz > 960000000) {
                return invalid_request(BASIC_LIMIT);
            }
            if (request.stop_hz < 350000000) {
                return ModelProfile{LOW_INPUT, 128};
            }
            if (request.start_hz < 240000000) {
                return invalid_request(BASIC_CROSSING);
            }
            return ModelProfile{HIGH_INPUT, 128};
    }
    return invalid_request(BASIC_LIMIT);
}

std::uint16_t zero_offset_in_effect(const ScanConfig& scan, const ModelProfile& profile) {
    return scan.auto_zero_offset ? profile.native_zero_offset : scan.zero_offset;
}

bool is_readback_trim_char(char32_t c) {
    const bool keep = (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') ||
                      (c >= U'0' && c <= U'9') || c == U'-';
    return !keep;
}

std::expected<void, AcquisitionError> confirm_zero(std::string_view reply,
                                                   std::uint16_t requested) {
    const auto readback = readback_value(reply);
    if (!readback) {
        return std::unexpected(AcquisitionError::MissingZeroReadback{requested});
    }
    if (*readback != requested) {
        return std::unexpected(AcquisitionError::ZeroReadbackMismatch{requested, *readback});
    }
    return {};
}

std::expected<ScanSetup, ScanSetupFailure> configure_scan(DeviceLink& link, const Config& config,
                                                          const ScanRequest& request,
                                                          const ModelProfile& profile,
                                                          const ScanStateHandle& state) {
    const auto command_delay = millis(config.serial.command_delay_ms);
    const auto settle_delay = millis(config.serial.settle_delay_ms);
    const auto scan_delay = millis(config.serial.scan_delay_ms);
    bool pause_attempted = false;
    auto fail = [&](AcquisitionError error) {
        return std::unexpected(ScanSetupFailure{std::move(error), pause_attempted});
    };
    auto send = [&](std::string_view command,
                    std::chrono::milliseconds first_delay) -> std::optional<TransportError> {
        auto reply = send_command(link, command, first_delay, settle_delay);
        if (!reply) {
            return std::move(reply.error());
        }
        return std::nullopt;
    };

    apply_update(state, SetStatus{"Configuring scan"});
    const std::uint16_t zero_offset = zero_offset_in_effect(config.scan, profile);

    if (auto error = send(fmt::format("repeat {}", request.repeat), command_delay)) {
        return fail(AcquisitionError::Transport{std::move(*error)});
    }
    if (auto error = send(fmt::format("zero {}", zero_offset), command_delay)) {
        return fail(AcquisitionError::Transport{std::move(*error)});
    }
    auto readback = exchange(link, "zero", command_delay, settle_delay);
    if (!readback) {
        return fail(AcquisitionError::Transport{std::move(readback.error())});
    }
    if (auto confirmed = confirm_zero(*readback, zero_offset); !confirmed) {
        return fail(std::move(confirmed.error()));
    }
    apply_update(state, SetProgress{20});

    // From here on the instrument may be paused, whatever the reply says.
    pause_attempted = true;
    std::string commands[] = {
        "pause",
        std::string(profile.input_mode),
        fmt::format("sweep start {}", request.start_hz),
        fmt::format("sweep stop {}", request.stop_hz),
        "sweep",
    };
    for (const std::string& command : commands) {
        if (auto error = send(command, command_delay)) {
            return fail(AcquisitionError::Transport{std::move(*error)});
        }
    }
    if (config.scan.legacy_pre_scan) {
        const std::string scan =
            fmt::format("scan {} {} 290 101", request.start_hz, request.stop_hz);
        if (auto error = send(scan, scan_delay)) {
            return fail(AcquisitionError::Transport{std::move(*error)});
        }
    }
    return ScanSetup{zero_offset};
}

}  // namespace vireo
