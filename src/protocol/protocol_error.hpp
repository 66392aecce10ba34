#pragma once
// Errors of the raw scan frame and of scan requests.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "common/error.hpp"

namespace vireo {

class ProtocolError {
  public:
    struct InvalidRequest {
        std::string message;
    };
    struct MissingStart {};
    struct Length {
        std::uint64_t expected;
        std::uint64_t actual;
    };
    struct Alignment {
        std::uint64_t index;
        std::uint8_t found;
    };
    struct MissingEnd {};
    using Variant = std::variant<InvalidRequest, MissingStart, Length, Alignment, MissingEnd>;

    ProtocolError(InvalidRequest v) : value_(std::move(v)) {}
    ProtocolError(MissingStart v) : value_(v) {}
    ProtocolError(Length v) : value_(v) {}
    ProtocolError(Alignment v) : value_(v) {}
    ProtocolError(MissingEnd v) : value_(v) {}

    const Variant& value() const { return value_; }

  private:
    Variant value_;
};

// "invalid scan request: {}", "raw frame has {} bytes; expected {}", ...
std::string display(const ProtocolError& error);
// InvalidRequest("..."), Length { expected: 8, actual: 7 }, Alignment { index: 5, found: 88 }
std::string debug(const ProtocolError& error);
std::optional<ErrorRef> source(const ProtocolError& error);

}  // namespace vireo
