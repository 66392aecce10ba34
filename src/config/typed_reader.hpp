#pragma once
// The typed reading: a TOML tree or text into a complete Config, refusing unknown, missing and
// wrongly typed keys with the messages users see.

#include <expected>
#include <string_view>

#include <toml++/toml.h>

#include "config/config.hpp"
#include "config/config_error.hpp"

namespace vireo {

// Reads the merged value tree (consumed) into a Config.
std::expected<Config, TomlError> read_config_value(toml::table value);

// Parses a TOML text and reads a Config from it; used for the compiled-in defaults. Its errors
// carry their position in the text.
std::expected<Config, TomlError> read_config_document(std::string_view text);

// Parses a TOML text into its root table; a syntax error carries its position in the text.
std::expected<toml::table, TomlError> parse_toml(std::string_view text);

}  // namespace vireo
