#pragma once
// The detected instrument family and the ways its identification can fail. Kept apart from the
// identification itself so that AcquisitionError can carry both.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace vireo {

// The model identified from the instrument's replies.
enum class InstrumentModel : std::uint8_t { Basic, Ultra };

// "tinySA Basic", "tinySA Ultra family".
std::string_view display(InstrumentModel model);
// "Basic", "Ultra".
std::string_view debug(InstrumentModel model);

// Why the replies name no single model.
enum class IdentityError : std::uint8_t { Unknown, Conflicting };

std::string display(IdentityError error);
// "Unknown", "Conflicting".
std::string debug(IdentityError error);
std::optional<ErrorRef> source(IdentityError error);

}  // namespace vireo
