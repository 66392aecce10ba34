#include "protocol/identification.hpp"

#include <algorithm>
#include <array>

#include <fmt/format.h>

#include "common/log.hpp"
#include "common/text.hpp"
#include "transport/exchange.hpp"

namespace vireo {

namespace {

constexpr std::array<std::string_view, 7> REQUIRED_COMMANDS{"repeat", "zero",    "pause", "mode",
                                                            "sweep",  "scanraw", "resume"};
constexpr std::string_view LEGACY_SCAN_COMMAND = "scan";
constexpr std::array<std::string_view, 5> DIAGNOSTIC_COMMANDS{"leveloffset", "vbat", "usart_cfg",
                                                              "threads", "marker"};

bool any_token_starts_with(std::string_view text, std::string_view prefix) {
    const auto tokens = split_unicode_whitespace(text);
    return std::ranges::any_of(tokens,
                               [&](std::string_view token) { return token.starts_with(prefix); });
}

bool any_line_is(std::string_view text, std::string_view wanted) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (trim_unicode_whitespace(line) == wanted) {
            return true;
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return false;
}

bool is_word_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::ranges::equal(a, b, [](char x, char y) {
               return ascii_lower(x) == ascii_lower(y);
           });
}

InstrumentModel expected_model(DeviceModel configured, InstrumentModel detected) {
    switch (configured) {
        case DeviceModel::Basic:
            return InstrumentModel::Basic;
        case DeviceModel::Ultra:
            return InstrumentModel::Ultra;
        case DeviceModel::Auto:
            break;
    }
    return detected;
}

}  // namespace

std::expected<InstrumentModel, AcquisitionError> classify_replies(std::string_view version_reply,
                                                                  std::string_view info_reply,
                                                                  DeviceModel configured) {
    if (trim_unicode_whitespace(version_reply).empty() ||
        trim_unicode_whitespace(info_reply).empty()) {
        return std::unexpected(AcquisitionError::MissingIdentity{});
    }

    bool ultra = false;
    bool basic = false;
    {
        const std::string version = ascii_lowercase(version_reply);
        const std::string info = ascii_lowercase(info_reply);
        ultra = any_token_starts_with(version, "tinysa4_v") ||
                info.find("tinysa ultra") != std::string::npos;
        basic = any_token_starts_with(version, "tinysa_v") ||
                info.find("tinysa basic") != std::string::npos || any_line_is(info, "tinysa");
    }

    if (ultra && basic) {
        return std::unexpected(AcquisitionError::Device{IdentityError::Conflicting});
    }
    if (!ultra && !basic) {
        return std::unexpected(AcquisitionError::Device{IdentityError::Unknown});
    }
    const InstrumentModel detected = ultra ? InstrumentModel::Ultra : InstrumentModel::Basic;
    const InstrumentModel expected = expected_model(configured, detected);
    if (expected != detected) {
        return std::unexpected(AcquisitionError::UnexpectedModel{expected, detected});
    }
    return detected;
}

std::expected<DeviceIdentity, AcquisitionError> identify_instrument(
    DeviceLink& link, std::chrono::milliseconds command_delay,
    std::chrono::milliseconds settle_delay, DeviceModel configured) {
    auto version = exchange(link, "version", command_delay, settle_delay);
    if (!version) {
        return std::unexpected(AcquisitionError::Transport{std::move(version.error())});
    }
    auto info = exchange(link, "info", command_delay, settle_delay);
    if (!info) {
        return std::unexpected(AcquisitionError::Transport{std::move(info.error())});
    }
    auto model = classify_replies(*version, *info, configured);
    if (!model) {
        return std::unexpected(std::move(model.error()));
    }
    return DeviceIdentity{std::move(*version), std::move(*info), *model};
}

bool help_lists(std::string_view help_text, std::string_view word) {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= help_text.size(); ++i) {
        if (i < help_text.size() && is_word_char(help_text[i])) {
            continue;
        }
        if (equals_ignoring_ascii_case(help_text.substr(start, i - start), word)) {
            return true;
        }
        start = i + 1;
    }
    return false;
}

std::optional<std::string_view> missing_required_command(std::string_view help_text,
                                                         bool legacy_pre_scan) {
    for (const std::string_view word : REQUIRED_COMMANDS) {
        if (!help_lists(help_text, word)) {
            return word;
        }
    }
    if (legacy_pre_scan && !help_lists(help_text, LEGACY_SCAN_COMMAND)) {
        return LEGACY_SCAN_COMMAND;
    }
    return std::nullopt;
}

std::expected<std::string, AcquisitionError> check_required_commands(
    DeviceLink& link, std::chrono::milliseconds command_delay,
    std::chrono::milliseconds settle_delay, bool legacy_pre_scan, InstrumentModel model) {
    auto help = exchange(link, "help", command_delay, settle_delay);
    if (!help) {
        return std::unexpected(AcquisitionError::Transport{std::move(help.error())});
    }
    if (const auto missing = missing_required_command(*help, legacy_pre_scan)) {
        return std::unexpected(AcquisitionError::MissingCommand{model, *missing});
    }
    return std::move(*help);
}

std::string identification_text(const DeviceIdentity& identity, std::uint16_t native_zero_offset) {
    return fmt::format("Detected {} (native raw offset {} dB)\n{}{}",
                       display(identity.detected_model), native_zero_offset, identity.version_reply,
                       identity.info_reply);
}

std::expected<void, AcquisitionError> query_diagnostics(DeviceLink& link,
                                                        std::chrono::milliseconds command_delay,
                                                        std::chrono::milliseconds settle_delay,
                                                        std::string_view help_reply) {
    for (const std::string_view command : DIAGNOSTIC_COMMANDS) {
        if (!help_lists(help_reply, command)) {
            continue;
        }
        auto reply = exchange(link, command, command_delay, settle_delay);
        if (!reply) {
            return std::unexpected(AcquisitionError::Transport{std::move(reply.error())});
        }
        if (log::enabled(log::Level::Debug)) {
            log::write(log::Level::Debug, "vireo::acquisition",
                       fmt::format("{}: {}", command, *reply));
        }
    }
    return {};
}

}  // namespace vireo
