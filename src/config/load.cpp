#include "config/load.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fmt/format.h>

#include "common/text.hpp"
#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "config/validate.hpp"
#include "platform/file.hpp"
#include "platform/process.hpp"

namespace vireo {

namespace {

// Standard error may be closed or full. The line is only a courtesy to the user: loading still
// returns its result, so a failed write must not throw (fmt::print would) and is ignored.
void print_to_stderr(const std::string& line) {
    (void)std::fwrite(line.data(), 1, line.size(), stderr);
}

std::expected<std::string, IoError> read_text_file(const std::filesystem::path& path) {
    auto file = platform::File::open_read(path);
    if (!file) {
        return std::unexpected(std::move(file.error()));
    }
    auto bytes = file->read_to_end();
    if (!bytes) {
        return bytes;
    }
    if (!is_valid_utf8(*bytes)) {
        return std::unexpected(
            IoError::with_message(IoErrorKind::InvalidData, "stream did not contain valid UTF-8"));
    }
    return bytes;
}

std::expected<Config, ConfigError> load(const std::filesystem::path& path) {
    auto text = read_text_file(path);
    if (!text) {
        if (text.error().kind() != IoErrorKind::NotFound) {
            return std::unexpected(ConfigError::Io{std::move(text.error())});
        }
        auto defaults = read_config_document(DEFAULT_CONFIG);
        if (!defaults) {
            print_to_stderr(
                fmt::format("embedded configuration must be valid: {}\n", debug(defaults.error())));
            std::abort();
        }
        return std::move(*defaults);
    }
    return parse_with_defaults(*text);
}

}  // namespace

std::filesystem::path resolve_config_path() {
    if (auto value = platform::environment_variable("VIREO_CONFIG")) {
        return std::filesystem::path(std::move(*value));
    }
    return "config.toml";
}

std::expected<Config, ConfigError> load_config(const std::filesystem::path& path) {
    auto config = load(path);
    if (!config) {
        print_to_stderr(fmt::format("Cannot load {}: {}\n", utf8_lossy(path.native()),
                                    display(config.error())));
    }
    return config;
}

std::expected<Config, ConfigError> parse_with_defaults(std::string_view user_text) {
    auto base = parse_toml(DEFAULT_CONFIG);
    if (!base) {
        return std::unexpected(ConfigError::Parse{std::move(base.error())});
    }
    auto overlay = parse_toml(user_text);
    if (!overlay) {
        return std::unexpected(ConfigError::Parse{std::move(overlay.error())});
    }
    merge_values(*base, std::move(*overlay));
    auto config = read_config_value(std::move(*base));
    if (!config) {
        return std::unexpected(ConfigError::Parse{std::move(config.error())});
    }
    if (auto valid = validate(*config); !valid) {
        return std::unexpected(std::move(valid.error()));
    }
    return std::move(*config);
}

void merge_values(toml::table& base, toml::table&& overlay) {
    for (auto&& [key, value] : overlay) {
        toml::node* existing = base.get(key.str());
        if (existing == nullptr) {
            base.insert(key, std::move(value));
        } else if (existing->is_table() && value.is_table()) {
            merge_values(*existing->as_table(), std::move(*value.as_table()));
        } else {
            base.insert_or_assign(key, std::move(value));
        }
    }
    overlay.clear();
}

}  // namespace vireo
