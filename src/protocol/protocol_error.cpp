#include "protocol/protocol_error.hpp"

#include <fmt/format.h>

#include "common/overloaded.hpp"
#include "common/text.hpp"

namespace vireo {

std::string display(const ProtocolError& error) {
    return std::visit(
        Overloaded{
            [](const ProtocolError::InvalidRequest& v) {
                return "invalid scan request: " + v.message;
            },
            [](const ProtocolError::MissingStart&) {
                return std::string("raw scan is missing its opening brace");
            },
            [](const ProtocolError::Length& v) {
                return fmt::format("raw frame has {} bytes; expected {}", v.actual, v.expected);
            },
            [](const ProtocolError::Alignment& v) {
                return fmt::format("sample {} has alignment byte 0x{:02x}; expected 0x78", v.index,
                                   v.found);
            },
            [](const ProtocolError::MissingEnd&) {
                return std::string("raw scan is missing its closing brace");
            },
        },
        error.value());
}

std::string debug(const ProtocolError& error) {
    return std::visit(
        Overloaded{
            [](const ProtocolError::InvalidRequest& v) {
                return "InvalidRequest(" + quoted(v.message) + ")";
            },
            [](const ProtocolError::MissingStart&) { return std::string("MissingStart"); },
            [](const ProtocolError::Length& v) {
                return fmt::format("Length {{ expected: {}, actual: {} }}", v.expected, v.actual);
            },
            [](const ProtocolError::Alignment& v) {
                return fmt::format("Alignment {{ index: {}, found: {} }}", v.index, v.found);
            },
            [](const ProtocolError::MissingEnd&) { return std::string("MissingEnd"); },
        },
        error.value());
}

std::optional<ErrorRef> source(const ProtocolError&) {
    return std::nullopt;
}

}  // namespace vireo
