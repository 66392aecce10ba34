#pragma once
// Loading the configuration at start-up: the user's file merged key by key over the defaults.

#include <expected>
#include <filesystem>
#include <string_view>

#include <toml++/toml.h>

#include "config/config.hpp"
#include "config/config_error.hpp"

namespace vireo {

// VIREO_CONFIG when set (unchanged, even empty), else "config.toml".
std::filesystem::path resolve_config_path();

// Reads the file at `path`: defaults alone when it does not exist; on any failure prints
// "Cannot load {}: {}" on standard error and returns the error.
std::expected<Config, ConfigError> load_config(const std::filesystem::path& path);

// The user's text merged over the defaults, read and validated.
std::expected<Config, ConfigError> parse_with_defaults(std::string_view user_text);

// Lays `overlay` over `base` (both root tables): tables key by key at every depth; any other
// value, and a value meeting a table, replaces the base's whole.
void merge_values(toml::table& base, toml::table&& overlay);

}  // namespace vireo
