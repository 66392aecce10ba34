#include "transport/connection_error.hpp"

#include "common/overloaded.hpp"

namespace vireo {

std::string display(const ConnectionError& error) {
    return std::visit(
        Overloaded{
            [](const ConnectionError::Config& v) { return display(v.error); },
            [](const ConnectionError::Tcp& v) { return "TCP connection: " + display(v.error); },
            [](const ConnectionError::Serial& v) {
                return "serial connection: " + display(v.error);
            },
            [](const ConnectionError::SerialFeatureDisabled&) {
                return std::string(
                    "serial support is disabled in this build; rebuild with serial support "
                    "enabled to open a USB/serial device");
            },
        },
        error.value());
}

std::string debug(const ConnectionError& error) {
    return std::visit(
        Overloaded{
            [](const ConnectionError::Config& v) { return "Config(" + debug(v.error) + ")"; },
            [](const ConnectionError::Tcp& v) { return "Tcp(" + debug(v.error) + ")"; },
            [](const ConnectionError::Serial& v) { return "Serial(" + debug(v.error) + ")"; },
            [](const ConnectionError::SerialFeatureDisabled&) {
                return std::string("SerialFeatureDisabled");
            },
        },
        error.value());
}

std::optional<ErrorRef> source(const ConnectionError& error) {
    return std::visit(
        Overloaded{
            [](const ConnectionError::Config& v) { return source(v.error); },
            [](const ConnectionError::Tcp& v) -> std::optional<ErrorRef> {
                return ErrorRef(v.error);
            },
            [](const ConnectionError::Serial& v) -> std::optional<ErrorRef> {
                return ErrorRef(v.error);
            },
            [](const ConnectionError::SerialFeatureDisabled&) -> std::optional<ErrorRef> {
                return std::nullopt;
            },
        },
        error.value());
}

}  // namespace vireo
