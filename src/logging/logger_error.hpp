#pragma once
// The error of starting the log: a bad log filter, an unusable directory, or a logger that
// is installed already.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/error.hpp"
#include "common/io_error.hpp"

namespace vireo::logging {

class LoggerError {
  public:
    // Every problem of the log filter.
    struct Parse {
        std::vector<std::string> messages;
    };
    // The log directory cannot be created or examined, or a writer cannot be started.
    struct Output {
        IoError error;
    };
    // The log directory's path names something that is not a directory.
    struct BadDirectory {};
    // A process-wide logger is installed already.
    struct AlreadyInstalled {};
    using Variant = std::variant<Parse, Output, BadDirectory, AlreadyInstalled>;

    LoggerError(Parse v) : value_(std::move(v)) {}
    LoggerError(Output v) : value_(std::move(v)) {}
    LoggerError(BadDirectory v) : value_(v) {}
    LoggerError(AlreadyInstalled v) : value_(v) {}

    const Variant& value() const { return value_; }

  private:
    Variant value_;
};

// "invalid log filter: {}" (the messages joined by "; "), "log cannot be written: {}",
// "Log file cannot be written because the specified path is not a directory",
// "Logger initialization failed".
std::string display(const LoggerError& error);
// Parse(["unknown level filter: loud"]), Output(Os { .. }), BadDirectory, AlreadyInstalled
std::string debug(const LoggerError& error);
// The I/O error of Output; none otherwise.
std::optional<ErrorRef> source(const LoggerError& error);

}  // namespace vireo::logging
