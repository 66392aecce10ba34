// The parsers of the instrument's text replies on arbitrary bytes: model identification from
// "version" and "info", the command list of "help", and the readback of "zero". Besides not
// failing, each must ignore ASCII letter case and agree with itself under small changes whose
// outcome is known.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <fuzzer/FuzzedDataProvider.h>

#include <fmt/format.h>

#include "common/text.hpp"
#include "fuzz_check.hpp"
#include "protocol/identification.hpp"
#include "protocol/model_profile.hpp"

namespace {

using vireo::AcquisitionError;
using vireo::fuzz::check;

std::string ascii_uppercase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

template <typename T>
std::string outcome(const std::expected<T, AcquisitionError>& result) {
    return result ? std::string("ok") : debug(result.error());
}

vireo::DeviceModel configured_of(vireo::InstrumentModel model) {
    return model == vireo::InstrumentModel::Basic ? vireo::DeviceModel::Basic
                                                  : vireo::DeviceModel::Ultra;
}

void check_identification(std::string_view version, std::string_view info,
                          vireo::DeviceModel configured) {
    const auto model = vireo::classify_replies(version, info, configured);
    const auto upper =
        vireo::classify_replies(ascii_uppercase(version), ascii_uppercase(info), configured);
    check(outcome(model) == outcome(upper) && (!model || *model == *upper),
          "identification ignores ASCII case");
    if (vireo::trim_unicode_whitespace(version).empty() ||
        vireo::trim_unicode_whitespace(info).empty()) {
        check(!model &&
                  std::holds_alternative<AcquisitionError::MissingIdentity>(model.error().value()),
              "a blank reply is a missing identity");
    }
    const auto detected = vireo::classify_replies(version, info, vireo::DeviceModel::Auto);
    if (!detected) {
        // Only the comparison with the configured model depends on the configuration.
        check(!model && outcome(model) == outcome(detected), "failures do not depend on the model");
        return;
    }
    const auto same = vireo::classify_replies(version, info, configured_of(*detected));
    check(same && *same == *detected, "the detected model is accepted when configured");
    const auto other_model = *detected == vireo::InstrumentModel::Basic
                                 ? vireo::InstrumentModel::Ultra
                                 : vireo::InstrumentModel::Basic;
    const auto other = vireo::classify_replies(version, info, configured_of(other_model));
    const auto* unexpected =
        other ? nullptr : std::get_if<AcquisitionError::UnexpectedModel>(&other.error().value());
    check(unexpected != nullptr && unexpected->expected == other_model &&
              unexpected->actual == *detected,
          "the other model is an unexpected model");
}

void check_command_list(std::string_view help) {
    const std::string upper = ascii_uppercase(help);
    for (const std::string_view word : {"repeat", "scanraw", "scan", "vbat", "usart_cfg"}) {
        check(vireo::help_lists(help, word) == vireo::help_lists(upper, word),
              "the command list ignores ASCII case");
    }
    const auto missing = vireo::missing_required_command(help, false);
    const auto missing_legacy = vireo::missing_required_command(help, true);
    if (missing) {
        check(!vireo::help_lists(help, *missing) && missing_legacy == missing,
              "a missing command is reported first either way");
    } else {
        check(!missing_legacy || *missing_legacy == "scan", "the legacy scan adds only \"scan\"");
    }
    const std::string complete =
        std::string(help) + "\nrepeat zero pause mode sweep scanraw resume scan";
    check(!vireo::missing_required_command(complete, true), "a complete list lacks nothing");
}

void check_zero_readback(std::string_view reply, std::uint16_t requested) {
    const auto confirmed = vireo::confirm_zero(reply, requested);
    check(outcome(confirmed) == outcome(vireo::confirm_zero(ascii_uppercase(reply), requested)),
          "the readback ignores ASCII case");
    const auto different = static_cast<std::uint16_t>(requested ^ 1);
    if (confirmed) {
        const auto mismatch = vireo::confirm_zero(reply, different);
        const auto* error =
            mismatch
                ? nullptr
                : std::get_if<AcquisitionError::ZeroReadbackMismatch>(&mismatch.error().value());
        check(error != nullptr && error->requested == different && error->actual == requested,
              "another request mismatches the same readback");
    } else if (const auto* error = std::get_if<AcquisitionError::ZeroReadbackMismatch>(
                   &confirmed.error().value())) {
        check(error->requested == requested && vireo::confirm_zero(reply, error->actual),
              "the value read back confirms itself");
    } else {
        check(std::holds_alternative<AcquisitionError::MissingZeroReadback>(
                  confirmed.error().value()),
              "a readback is either confirmed, different or missing");
        check(!vireo::confirm_zero(reply, different), "a missing readback stays missing");
    }
    const std::string leading = fmt::format("{}dBm\n{}", requested, reply);
    check(vireo::confirm_zero(leading, requested).has_value(), "the first readback counts");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto configured = input.PickValueInArray(
        {vireo::DeviceModel::Auto, vireo::DeviceModel::Basic, vireo::DeviceModel::Ultra});
    const auto requested = input.ConsumeIntegral<std::uint16_t>();
    const std::string version = input.ConsumeRandomLengthString();
    const std::string rest = input.ConsumeRemainingBytesAsString();
    check_identification(version, rest, configured);
    check_command_list(rest);
    check_zero_readback(rest, requested);
    return 0;
}
