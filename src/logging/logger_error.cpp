#include "logging/logger_error.hpp"

#include <fmt/format.h>

#include "common/overloaded.hpp"
#include "common/text.hpp"

namespace vireo::logging {

std::string display(const LoggerError& error) {
    return std::visit(
        Overloaded{
            [](const LoggerError::Parse& v) {
                return fmt::format("invalid log filter: {}", fmt::join(v.messages, "; "));
            },
            [](const LoggerError::Output& v) {
                return "log cannot be written: " + display(v.error);
            },
            [](const LoggerError::BadDirectory&) -> std::string {
                return "Log file cannot be written because the specified path is not a "
                       "directory";
            },
            [](const LoggerError::AlreadyInstalled&) -> std::string {
                return "Logger initialization failed";
            },
        },
        error.value());
}

std::string debug(const LoggerError& error) {
    return std::visit(
        Overloaded{
            [](const LoggerError::Parse& v) {
                std::string list;
                for (const auto& message : v.messages) {
                    list += list.empty() ? "" : ", ";
                    list += quoted(message);
                }
                return "Parse([" + list + "])";
            },
            [](const LoggerError::Output& v) { return "Output(" + debug(v.error) + ")"; },
            [](const LoggerError::BadDirectory&) -> std::string { return "BadDirectory"; },
            [](const LoggerError::AlreadyInstalled&) -> std::string { return "AlreadyInstalled"; },
        },
        error.value());
}

std::optional<ErrorRef> source(const LoggerError& error) {
    if (const auto* output = std::get_if<LoggerError::Output>(&error.value())) {
        return ErrorRef(output->error);
    }
    return std::nullopt;
}

}  // namespace vireo::logging
