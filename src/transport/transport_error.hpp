#pragma once
// Errors of the shell command exchange with the instrument.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "common/error.hpp"
#include "common/io_error.hpp"
#include "protocol/protocol_error.hpp"

namespace vireo {

class TransportError {
  public:
    struct Io {
        IoError error;
    };
    struct ResponseTooLong {
        std::uint64_t limit;
    };
    struct InvalidCommand {};
    struct CommandRejected {
        std::string command;
        std::string response;
    };
    struct Protocol {
        ProtocolError error;
    };
    using Variant = std::variant<Io, ResponseTooLong, InvalidCommand, CommandRejected, Protocol>;

    TransportError(Io v) : value_(std::move(v)) {}
    TransportError(ResponseTooLong v) : value_(v) {}
    TransportError(InvalidCommand v) : value_(v) {}
    TransportError(CommandRejected v) : value_(std::move(v)) {}
    TransportError(Protocol v) : value_(std::move(v)) {}

    const Variant& value() const { return value_; }

  private:
    Variant value_;
};

// "serial transport: {}", "serial response exceeds {} bytes", "device rejected {}: {}", ...
std::string display(const TransportError& error);
// Io(..), ResponseTooLong(256), InvalidCommand, CommandRejected { command: "..", response: ".." }
std::string debug(const TransportError& error);
// The I/O error for Io; Protocol passes on the frame error's own cause (none); none otherwise.
std::optional<ErrorRef> source(const TransportError& error);

// The command between double quotes, with backslashes before backslashes and quotes.
std::string quoted_command(std::string_view command);

}  // namespace vireo
