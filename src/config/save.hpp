#pragma once
// Saving the configuration: a complete TOML text that replaces the file in one rename.

#include <atomic>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/io_error.hpp"
#include "config/config.hpp"
#include "config/config_error.hpp"

namespace vireo {

// Counts every temporary file name tried by any save of this process.
extern std::atomic<std::uint64_t> TEMP_FILE_COUNTER;

// Validates the candidate, writes it as TOML and replaces the file at `path`.
std::expected<void, ConfigError> save_config(const Config& config,
                                             const std::filesystem::path& path);

// The complete TOML text of a configuration, every key in declared order.
std::expected<std::string, TomlWriteError> config_to_toml(const Config& config);

// Writes `text` to a fresh temporary file beside `path`, flushes it and renames it over `path`.
std::expected<void, IoError> write_config_file(const std::filesystem::path& path,
                                               std::string_view text);

}  // namespace vireo
