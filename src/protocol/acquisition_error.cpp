#include "protocol/acquisition_error.hpp"

#include <fmt/format.h>

#include "common/overloaded.hpp"
#include "common/text.hpp"

namespace vireo {

AcquisitionError::Recovery::Recovery(AcquisitionError primary_error, TransportError recovery_error)
    : primary(std::make_unique<AcquisitionError>(std::move(primary_error))),
      recovery(std::move(recovery_error)) {}

AcquisitionError::Recovery::Recovery(const Recovery& other)
    : primary(std::make_unique<AcquisitionError>(*other.primary)), recovery(other.recovery) {}

AcquisitionError::Recovery& AcquisitionError::Recovery::operator=(const Recovery& other) {
    if (this != &other) {
        auto copy = std::make_unique<AcquisitionError>(*other.primary);
        recovery = other.recovery;
        primary = std::move(copy);
    }
    return *this;
}

AcquisitionError::Recovery::~Recovery() {
    // The primary goes first, then the recovery error.
    primary.reset();
}

std::string display(const AcquisitionError& error) {
    return std::visit(
        Overloaded{
            [](const AcquisitionError::Transport& v) { return display(v.error); },
            [](const AcquisitionError::Protocol& v) { return display(v.error); },
            [](const AcquisitionError::MissingIdentity&) {
                return std::string("the instrument returned an empty version or info reply");
            },
            [](const AcquisitionError::Device& v) { return display(v.error); },
            [](const AcquisitionError::UnexpectedModel& v) {
                return fmt::format("configured model {} does not match detected {}",
                                   display(v.expected), display(v.actual));
            },
            [](const AcquisitionError::MissingCommand& v) {
                return fmt::format("{} firmware does not advertise required command {}",
                                   display(v.model), quoted(v.command));
            },
            [](const AcquisitionError::MissingZeroReadback& v) {
                return fmt::format(
                    "could not confirm the raw-level offset after configuring zero {}",
                    v.requested);
            },
            [](const AcquisitionError::ZeroReadbackMismatch& v) {
                return fmt::format("raw-level offset readback is {} dB after requesting {} dB",
                                   v.actual, v.requested);
            },
            [](const AcquisitionError::Recovery& v) {
                return fmt::format("{}; additionally, resume failed: {}", display(*v.primary),
                                   display(v.recovery));
            },
        },
        error.value());
}

std::string debug(const AcquisitionError& error) {
    return std::visit(
        Overloaded{
            [](const AcquisitionError::Transport& v) {
                return "Transport(" + debug(v.error) + ")";
            },
            [](const AcquisitionError::Protocol& v) { return "Protocol(" + debug(v.error) + ")"; },
            [](const AcquisitionError::MissingIdentity&) { return std::string("MissingIdentity"); },
            [](const AcquisitionError::Device& v) { return "Device(" + debug(v.error) + ")"; },
            [](const AcquisitionError::UnexpectedModel& v) {
                return fmt::format("UnexpectedModel {{ expected: {}, actual: {} }}",
                                   debug(v.expected), debug(v.actual));
            },
            [](const AcquisitionError::MissingCommand& v) {
                return fmt::format("MissingCommand {{ model: {}, command: {} }}", debug(v.model),
                                   quoted(v.command));
            },
            [](const AcquisitionError::MissingZeroReadback& v) {
                return fmt::format("MissingZeroReadback {{ requested: {} }}", v.requested);
            },
            [](const AcquisitionError::ZeroReadbackMismatch& v) {
                return fmt::format("ZeroReadbackMismatch {{ requested: {}, actual: {} }}",
                                   v.requested, v.actual);
            },
            [](const AcquisitionError::Recovery& v) {
                return fmt::format("Recovery {{ primary: {}, recovery: {} }}", debug(*v.primary),
                                   debug(v.recovery));
            },
        },
        error.value());
}

std::optional<ErrorRef> source(const AcquisitionError& error) {
    return std::visit(
        Overloaded{
            [](const AcquisitionError::Transport& v) -> std::optional<ErrorRef> {
                if (const auto* io = std::get_if<TransportError::Io>(&v.error.value())) {
                    return ErrorRef(io->error);
                }
                return std::nullopt;
            },
            [](const AcquisitionError::Recovery& v) -> std::optional<ErrorRef> {
                return ErrorRef(*v.primary);
            },
            [](const auto&) -> std::optional<ErrorRef> { return std::nullopt; },
        },
        error.value());
}

}  // namespace vireo
