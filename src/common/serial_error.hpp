#pragma once
// The error of the serial-port layer (opening, configuring or listing ports): a kind and a
// description, the description being the system's message for a failing call.

#include <optional>
#include <string>

#include "common/error.hpp"
#include "common/io_error.hpp"

namespace vireo {

struct SerialError {
    enum class Kind { NoDevice, InvalidInput, Unknown, Io };

    Kind kind = Kind::Unknown;
    IoErrorKind io_kind = IoErrorKind::Other;  // meaningful for Kind::Io
    std::string description;

    // The error of a failing system call: kind Io with the errno's kind and the system's text.
    static SerialError from_os(int code);

    friend bool operator==(const SerialError&, const SerialError&) = default;
};

// The description.
std::string display(const SerialError& error);
// Error { kind: Unknown, description: "..." }; an I/O kind reads Io(NotFound).
std::string debug(const SerialError& error);
std::optional<ErrorRef> source(const SerialError& error);

}  // namespace vireo
