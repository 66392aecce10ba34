#pragma once
// The compiled-in default document: a value for every key of the configuration.

#include <string_view>

namespace vireo {

extern const std::string_view DEFAULT_CONFIG;

}  // namespace vireo
