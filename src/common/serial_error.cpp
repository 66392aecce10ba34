#include "common/serial_error.hpp"

#include <fmt/format.h>

#include "common/text.hpp"

namespace vireo {

SerialError SerialError::from_os(int code) {
    return SerialError{Kind::Io, kind_of_os_error(code), os_error_text(code)};
}

std::string display(const SerialError& error) {
    return error.description;
}

std::string debug(const SerialError& error) {
    std::string kind;
    switch (error.kind) {
        case SerialError::Kind::NoDevice:
            kind = "NoDevice";
            break;
        case SerialError::Kind::InvalidInput:
            kind = "InvalidInput";
            break;
        case SerialError::Kind::Unknown:
            kind = "Unknown";
            break;
        case SerialError::Kind::Io:
            kind = fmt::format("Io({})", kind_name(error.io_kind));
            break;
    }
    return fmt::format("Error {{ kind: {}, description: {} }}", kind, quoted(error.description));
}

std::optional<ErrorRef> source(const SerialError&) {
    return std::nullopt;
}

}  // namespace vireo
