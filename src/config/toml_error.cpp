#include <fmt/format.h>

#include "common/text.hpp"
#include "config/config_error.hpp"

namespace vireo {

std::string display(const TomlError& error) {
    std::string text;
    if (error.position) {
        const auto& p = *error.position;
        const std::string line_number = std::to_string(p.line);
        const std::string gutter(line_number.size() + 1, ' ');
        text += fmt::format("TOML parse error at line {}, column {}\n", p.line, p.column);
        text += gutter + "|\n";
        text += fmt::format("{} | {}\n", line_number, p.source_line);
        text += gutter + "|" + std::string(p.column, ' ') + "^\n";
    }
    text += error.message + "\n";
    if (!error.position && !error.key_path.empty()) {
        text += fmt::format("in `{}`\n", fmt::join(error.key_path, "."));
    }
    return text;
}

std::string debug(const TomlError& error) {
    std::vector<std::string> keys;
    keys.reserve(error.key_path.size());
    for (const auto& key : error.key_path) {
        keys.push_back(vireo::quoted(key));
    }
    const std::string position = error.position
                                     ? fmt::format("Some(Position {{ line: {}, column: {} }})",
                                                   error.position->line, error.position->column)
                                     : "None";
    return fmt::format("Error {{ message: {}, keys: [{}], position: {} }}",
                       vireo::quoted(error.message), fmt::join(keys, ", "), position);
}

std::optional<ErrorRef> source(const TomlError&) {
    return std::nullopt;
}

}  // namespace vireo
