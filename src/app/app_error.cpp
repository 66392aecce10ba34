#include "app/app_error.hpp"

#include "common/overloaded.hpp"

namespace vireo {

std::string display(const AppError& error) {
    return std::visit(
        Overloaded{
            [](const AppError::Config& v) { return display(v.error); },
            [](const AppError::Port& v) { return "serial connection: " + display(v.error); },
            [](const AppError::Connection& v) { return display(v.error); },
            [](const AppError::Io& v) { return "I/O: " + display(v.error); },
            [](const AppError::Acquisition& v) { return display(v.error); },
            [](const AppError::Logger& v) { return "logging: " + display(v.error); },
            [](const AppError::Terminal& v) { return "terminal: " + display(v.report); },
        },
        error.value());
}

std::string debug(const AppError& error) {
    return std::visit(
        Overloaded{
            [](const AppError::Config& v) { return "Config(" + debug(v.error) + ")"; },
            [](const AppError::Port& v) { return "Port(" + debug(v.error) + ")"; },
            [](const AppError::Connection& v) { return "Connection(" + debug(v.error) + ")"; },
            [](const AppError::Io& v) { return "Io(" + debug(v.error) + ")"; },
            [](const AppError::Acquisition& v) { return "Acquisition(" + debug(v.error) + ")"; },
            [](const AppError::Logger& v) { return "Logger(" + debug(v.error) + ")"; },
            [](const AppError::Terminal& v) { return "Terminal(" + debug(v.report) + ")"; },
        },
        error.value());
}

std::optional<ErrorRef> source(const AppError& error) {
    return std::visit(
        Overloaded{
            [](const AppError::Config& v) { return source(v.error); },
            [](const AppError::Port& v) -> std::optional<ErrorRef> { return ErrorRef(v.error); },
            // A connection error shows its inner text unchanged, so its chain continues with
            // the inner error's cause.
            [](const AppError::Connection& v) { return source(v.error); },
            [](const AppError::Io& v) -> std::optional<ErrorRef> { return ErrorRef(v.error); },
            [](const AppError::Acquisition& v) { return source(v.error); },
            [](const AppError::Logger& v) -> std::optional<ErrorRef> { return ErrorRef(v.error); },
            [](const AppError::Terminal& v) { return source(v.report); },
        },
        error.value());
}

}  // namespace vireo
