#include "config/config_error.hpp"

#include <fmt/format.h>

#include "common/overloaded.hpp"
#include "common/text.hpp"

namespace vireo {

std::string display(const TomlWriteError& error) {
    return error.message;
}

std::string debug(const TomlWriteError& error) {
    return fmt::format("Error {{ message: {} }}", vireo::quoted(error.message));
}

std::optional<ErrorRef> source(const TomlWriteError&) {
    return std::nullopt;
}

std::string display(const ConfigError& error) {
    return std::visit(
        Overloaded{
            [](const ConfigError::Io& v) { return "configuration I/O: " + display(v.error); },
            [](const ConfigError::Parse& v) {
                return "invalid configuration: " + display(v.error);
            },
            [](const ConfigError::Serialize& v) {
                return "cannot serialize configuration: " + display(v.error);
            },
            [](const ConfigError::Validation& v) { return "invalid configuration: " + v.message; },
        },
        error.value());
}

std::string debug(const ConfigError& error) {
    return std::visit(
        Overloaded{
            [](const ConfigError::Io& v) { return "Io(" + debug(v.error) + ")"; },
            [](const ConfigError::Parse& v) { return "Parse(" + debug(v.error) + ")"; },
            [](const ConfigError::Serialize& v) { return "Serialize(" + debug(v.error) + ")"; },
            [](const ConfigError::Validation& v) {
                return "Validation(" + vireo::quoted(v.message) + ")";
            },
        },
        error.value());
}

std::optional<ErrorRef> source(const ConfigError& error) {
    return std::visit(
        Overloaded{
            [](const ConfigError::Io& v) -> std::optional<ErrorRef> { return ErrorRef(v.error); },
            [](const ConfigError::Parse& v) -> std::optional<ErrorRef> {
                return ErrorRef(v.error);
            },
            [](const ConfigError::Serialize& v) -> std::optional<ErrorRef> {
                return ErrorRef(v.error);
            },
            [](const ConfigError::Validation&) -> std::optional<ErrorRef> { return std::nullopt; },
        },
        error.value());
}

}  // namespace vireo
