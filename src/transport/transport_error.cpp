#include "transport/transport_error.hpp"

#include <fmt/format.h>

#include "common/overloaded.hpp"
#include "common/text.hpp"

namespace vireo {

std::string quoted_command(std::string_view command) {
    // Commands are printable ASCII, so the debug quoting only ever escapes '\\' and '"'.
    return quoted(command);
}

std::string display(const TransportError& error) {
    return std::visit(
        Overloaded{
            [](const TransportError::Io& v) { return "serial transport: " + display(v.error); },
            [](const TransportError::ResponseTooLong& v) {
                return fmt::format("serial response exceeds {} bytes", v.limit);
            },
            [](const TransportError::InvalidCommand&) {
                return std::string("a shell command must be one nonempty printable ASCII line");
            },
            [](const TransportError::CommandRejected& v) {
                return fmt::format("device rejected {}: {}", quoted_command(v.command), v.response);
            },
            [](const TransportError::Protocol& v) { return display(v.error); },
        },
        error.value());
}

std::string debug(const TransportError& error) {
    return std::visit(
        Overloaded{
            [](const TransportError::Io& v) { return "Io(" + debug(v.error) + ")"; },
            [](const TransportError::ResponseTooLong& v) {
                return fmt::format("ResponseTooLong({})", v.limit);
            },
            [](const TransportError::InvalidCommand&) { return std::string("InvalidCommand"); },
            [](const TransportError::CommandRejected& v) {
                return fmt::format("CommandRejected {{ command: {}, response: {} }}",
                                   quoted(v.command), quoted(v.response));
            },
            [](const TransportError::Protocol& v) { return "Protocol(" + debug(v.error) + ")"; },
        },
        error.value());
}

std::optional<ErrorRef> source(const TransportError& error) {
    return std::visit(Overloaded{
                          [](const TransportError::Io& v) -> std::optional<ErrorRef> {
                              return ErrorRef(v.error);
                          },
                          // The frame error's text stands in for this one, so the chain
                          // goes on from its cause, not from the frame error itself.
                          [](const TransportError::Protocol& v) { return source(v.error); },
                          [](const auto&) -> std::optional<ErrorRef> { return std::nullopt; },
                      },
                      error.value());
}

}  // namespace vireo
