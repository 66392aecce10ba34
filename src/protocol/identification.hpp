#pragma once
// Recognising the instrument from its "version" and "info" replies, checking through "help"
// that its firmware offers the commands a run sends, and the optional diagnostic queries.

#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "config/config.hpp"
#include "protocol/acquisition_error.hpp"
#include "protocol/instrument_model.hpp"

namespace vireo {

class DeviceLink;

// What identification found; the replies are kept exactly as received.
struct DeviceIdentity {
    std::string version_reply;
    std::string info_reply;
    InstrumentModel detected_model;
};

// Exchanges "version" then "info" and classifies the replies against the configured model.
std::expected<DeviceIdentity, AcquisitionError> identify_instrument(
    DeviceLink& link, std::chrono::milliseconds command_delay,
    std::chrono::milliseconds settle_delay, DeviceModel configured);

// The classification of identify_instrument on two replies already read: MissingIdentity when
// either is blank, Device when they name no model or both, UnexpectedModel when the configured
// model differs.
std::expected<InstrumentModel, AcquisitionError> classify_replies(std::string_view version_reply,
                                                                  std::string_view info_reply,
                                                                  DeviceModel configured);

// True when `word` is one whole word of the help text (ASCII letters, digits and "_"), ignoring
// ASCII letter case.
bool help_lists(std::string_view help_text, std::string_view word);

// The first command the run needs that the help text does not list ("scan" is needed only for
// the legacy pre-scan), or none.
std::optional<std::string_view> missing_required_command(std::string_view help_text,
                                                         bool legacy_pre_scan);

// Exchanges "help" and fails with MissingCommand for the first needed command it lacks;
// returns the raw help reply for query_diagnostics.
std::expected<std::string, AcquisitionError> check_required_commands(
    DeviceLink& link, std::chrono::milliseconds command_delay,
    std::chrono::milliseconds settle_delay, bool legacy_pre_scan, InstrumentModel model);

// "Detected {model} (native raw offset {offset} dB)\n{version}{info}" for the interface.
std::string identification_text(const DeviceIdentity& identity, std::uint16_t native_zero_offset);

// Exchanges each diagnostic command the help reply lists and logs its reply at Debug on
// "vireo::acquisition" when Debug is enabled; only a failed exchange is an error.
std::expected<void, AcquisitionError> query_diagnostics(DeviceLink& link,
                                                        std::chrono::milliseconds command_delay,
                                                        std::chrono::milliseconds settle_delay,
                                                        std::string_view help_reply);

}  // namespace vireo
