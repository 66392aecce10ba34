#include "config/save.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include <fmt/format.h>

#include "common/text.hpp"
#include "config/config_schema.hpp"
#include "config/validate.hpp"
#include "platform/file.hpp"
#include "platform/process.hpp"

namespace vireo {

std::atomic<std::uint64_t> TEMP_FILE_COUNTER{0};

namespace {

using namespace schema;

constexpr int MAX_TEMP_NAMES = 100;

// Shortest text that reads back to the same value, always with a decimal point.
std::string toml_float(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    const auto exponent = text.find('e');
    const auto point = text.find('.');
    if (point == std::string::npos) {
        text.insert(exponent == std::string::npos ? text.size() : exponent, ".0");
    }
    return text;
}

// A TOML basic string; the text must be valid UTF-8.
std::string toml_string(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    out += fmt::format("\\u{:04X}", static_cast<unsigned char>(c));
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

using Written = std::expected<std::string, TomlWriteError>;

template <class Kind>
Written value_text(const typename Kind::type& value) {
    if constexpr (std::is_same_v<Kind, U16> || std::is_same_v<Kind, U32> ||
                  std::is_same_v<Kind, U64> || std::is_same_v<Kind, Usize>) {
        // TOML integers are signed 64-bit.
        if (static_cast<std::uint64_t>(value) >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::unexpected(
                TomlWriteError{fmt::format("out-of-range value for {} type", Kind::name)});
        }
        return std::to_string(value);
    } else if constexpr (std::is_same_v<Kind, F64>) {
        return toml_float(value);
    } else if constexpr (std::is_same_v<Kind, Boolean>) {
        return std::string(value ? "true" : "false");
    } else if constexpr (std::is_same_v<Kind, Text>) {
        if (!is_valid_utf8(value)) {
            return std::unexpected(TomlWriteError{"string contains invalid UTF-8 characters"});
        }
        return toml_string(value);
    } else if constexpr (std::is_same_v<Kind, Path>) {
        if (!is_valid_utf8(value.native())) {
            return std::unexpected(TomlWriteError{"path contains invalid UTF-8 characters"});
        }
        return toml_string(value.native());
    } else if constexpr (is_enumeration<Kind>::value) {
        return toml_string(describe(std::type_identity<typename Kind::type>{}).name_of(value));
    } else {
        static_assert(is_list<Kind>::value, "sections are written as tables");
        // Up to one item on the key's line; more one per line, each with a comma.
        if (value.size() < 2) {
            std::string out = "[";
            for (const auto& item : value) {
                auto text = value_text<typename Kind::item>(item);
                if (!text) {
                    return text;
                }
                out += *text;
            }
            return out + "]";
        }
        std::string out = "[\n";
        for (const auto& item : value) {
            auto text = value_text<typename Kind::item>(item);
            if (!text) {
                return text;
            }
            out += "    " + *text + ",\n";
        }
        return out + "]";
    }
}

// The record's plain keys as key lines, then each section as a table with its header.
template <class Record>
std::expected<void, TomlWriteError> write_record(std::string& out, const Record& record,
                                                 std::string_view table_name) {
    constexpr auto description = describe(std::type_identity<Record>{});
    std::optional<TomlWriteError> error;
    for_each_key(description, [&](std::size_t, const auto& key) {
        using Kind = typename std::remove_cvref_t<decltype(key)>::kind;
        if constexpr (!is_section<Kind>::value) {
            if (error) {
                return;
            }
            auto text = value_text<Kind>(record.*key.member);
            if (!text) {
                error = std::move(text.error());
                return;
            }
            out += fmt::format("{} = {}\n", key.name, *text);
        }
    });
    for_each_key(description, [&](std::size_t, const auto& key) {
        using Kind = typename std::remove_cvref_t<decltype(key)>::kind;
        if constexpr (is_section<Kind>::value) {
            if (error) {
                return;
            }
            const std::string name = table_name.empty()
                                         ? std::string(key.name)
                                         : fmt::format("{}.{}", table_name, key.name);
            if (!out.empty()) {
                out += "\n";
            }
            out += fmt::format("[{}]\n", name);
            if (auto written = write_record(out, record.*key.member, name); !written) {
                error = std::move(written.error());
            }
        }
    });
    if (error) {
        return std::unexpected(std::move(*error));
    }
    return {};
}

}  // namespace

std::expected<std::string, TomlWriteError> config_to_toml(const Config& config) {
    std::string out;
    if (auto written = write_record(out, config, ""); !written) {
        return std::unexpected(std::move(written.error()));
    }
    return out;
}

std::expected<void, IoError> write_config_file(const std::filesystem::path& path,
                                               std::string_view text) {
    std::filesystem::path directory = path.parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    const std::filesystem::path name = path.filename();
    if (name.empty() || name == "." || name == "..") {
        return std::unexpected(
            IoError::with_message(IoErrorKind::InvalidInput, "missing file name"));
    }
    const std::string display_name = utf8_lossy(name.native());
    const std::uint32_t pid = platform::process_id();

    std::optional<platform::File> file;
    std::filesystem::path temp_path;
    for (int attempt = 0; attempt < MAX_TEMP_NAMES && !file; ++attempt) {
        const std::uint64_t n = TEMP_FILE_COUNTER.fetch_add(1);
        temp_path = directory / fmt::format(".{}.{}.{}.tmp", display_name, pid, n);
        auto created = platform::File::create_new(temp_path);
        if (created) {
            file.emplace(std::move(*created));
        } else if (created.error().kind() != IoErrorKind::AlreadyExists) {
            return std::unexpected(std::move(created.error()));
        }
    }
    if (!file) {
        return std::unexpected(IoError::with_message(
            IoErrorKind::AlreadyExists, "could not allocate a configuration temporary file"));
    }

    auto written = file->write_all(text);
    if (written) {
        written = file->sync();
    }
    if (!written) {
        (void)platform::remove_file(temp_path);
        (void)file->close();
        return std::unexpected(std::move(written.error()));
    }
    (void)file->close();

    if (auto renamed = platform::rename_file(temp_path, path); !renamed) {
        (void)platform::remove_file(temp_path);
        return std::unexpected(std::move(renamed.error()));
    }
    // Without this the rename itself may not survive a power loss; the file is complete either
    // way, so a failure here is not the save's.
    (void)platform::sync_directory(directory);
    return {};
}

std::expected<void, ConfigError> save_config(const Config& config,
                                             const std::filesystem::path& path) {
    if (auto valid = validate(config); !valid) {
        return std::unexpected(std::move(valid.error()));
    }
    auto text = config_to_toml(config);
    if (!text) {
        return std::unexpected(ConfigError::Serialize{std::move(text.error())});
    }
    if (auto written = write_config_file(path, *text); !written) {
        return std::unexpected(ConfigError::Io{std::move(written.error())});
    }
    return {};
}

}  // namespace vireo
