#pragma once
// The ordered setting checks a Config must pass before it is used for a run.

#include <expected>

#include "config/config.hpp"
#include "config/config_error.hpp"

namespace vireo {

// Success, or ConfigError::Validation with the message of the first failing check.
std::expected<void, ConfigError> validate(const Config& config);

}  // namespace vireo
