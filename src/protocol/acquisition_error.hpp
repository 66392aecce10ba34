#pragma once
// Failures of a run once the link is open: the exchange, the frame, identification, the command
// set and the zero readback, and a failed "resume" on top of any of them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "common/error.hpp"
#include "protocol/instrument_model.hpp"
#include "protocol/protocol_error.hpp"
#include "transport/transport_error.hpp"

namespace vireo {

// A value type: copying copies the whole chain, Recovery's boxed primary included.
class AcquisitionError {
  public:
    struct Transport {
        TransportError error;
    };
    struct Protocol {
        ProtocolError error;
    };
    struct MissingIdentity {};
    struct Device {
        IdentityError error;
    };
    struct UnexpectedModel {
        InstrumentModel expected;  // the configured model
        InstrumentModel actual;    // the detected one
    };
    struct MissingCommand {
        InstrumentModel model;
        std::string_view command;  // one of the program's fixed command words
    };
    struct MissingZeroReadback {
        std::uint16_t requested;
    };
    struct ZeroReadbackMismatch {
        std::uint16_t requested;
        std::uint16_t actual;
    };
    // The run failed after "pause" and the closing "resume" failed too.
    struct Recovery {
        Recovery(AcquisitionError primary, TransportError recovery);
        Recovery(const Recovery& other);
        Recovery(Recovery&& other) noexcept = default;
        Recovery& operator=(const Recovery& other);
        Recovery& operator=(Recovery&& other) noexcept = default;
        ~Recovery();

        std::unique_ptr<AcquisitionError> primary;  // never null but after a move
        TransportError recovery;
    };
    using Variant =
        std::variant<Transport, Protocol, MissingIdentity, Device, UnexpectedModel, MissingCommand,
                     MissingZeroReadback, ZeroReadbackMismatch, Recovery>;

    AcquisitionError(Transport v) : value_(std::move(v)) {}
    AcquisitionError(Protocol v) : value_(std::move(v)) {}
    AcquisitionError(MissingIdentity v) : value_(v) {}
    AcquisitionError(Device v) : value_(v) {}
    AcquisitionError(UnexpectedModel v) : value_(v) {}
    AcquisitionError(MissingCommand v) : value_(v) {}
    AcquisitionError(MissingZeroReadback v) : value_(v) {}
    AcquisitionError(ZeroReadbackMismatch v) : value_(v) {}
    AcquisitionError(Recovery v) : value_(std::move(v)) {}

    const Variant& value() const { return value_; }

  private:
    Variant value_;
};

// The user's text: inner texts unchanged for Transport, Protocol and Device, fixed sentences
// for the rest, "{}; additionally, resume failed: {}" for Recovery.
std::string display(const AcquisitionError& error);
// Transport(..), MissingIdentity, MissingCommand { model: Ultra, command: "scanraw" }, ...
std::string debug(const AcquisitionError& error);
// The I/O error of a Transport(Io) failure, the primary of a Recovery; none otherwise.
std::optional<ErrorRef> source(const AcquisitionError& error);

}  // namespace vireo
