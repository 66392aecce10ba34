#pragma once
// The program's top-level error: what start-up hands to the process entry and what a failed
// run or interface action records.

#include <optional>
#include <string>
#include <variant>

#include "common/error.hpp"
#include "common/error_report.hpp"
#include "common/io_error.hpp"
#include "common/serial_error.hpp"
#include "config/config_error.hpp"
#include "logging/logger_error.hpp"
#include "protocol/acquisition_error.hpp"
#include "transport/connection_error.hpp"

namespace vireo {

class AppError {
  public:
    struct Config {
        ConfigError error;
    };
    struct Port {
        SerialError error;
    };
    struct Connection {
        ConnectionError error;
    };
    struct Io {
        IoError error;
    };
    struct Acquisition {
        AcquisitionError error;
    };
    struct Logger {
        logging::LoggerError error;
    };
    struct Terminal {
        ErrorReport report;
    };
    using Variant = std::variant<Config, Port, Connection, Io, Acquisition, Logger, Terminal>;

    AppError(Config v) : value_(std::move(v)) {}
    AppError(Port v) : value_(std::move(v)) {}
    AppError(Connection v) : value_(std::move(v)) {}
    AppError(Io v) : value_(std::move(v)) {}
    AppError(Acquisition v) : value_(std::move(v)) {}
    AppError(Logger v) : value_(std::move(v)) {}
    AppError(Terminal v) : value_(std::move(v)) {}

    const Variant& value() const { return value_; }

  private:
    Variant value_;
};

// The inner text unchanged for Config, Connection and Acquisition; "serial connection: {}",
// "I/O: {}", "logging: {}", "terminal: {}" for the others.
std::string display(const AppError& error);
// The variant name and the payload's debug form in parentheses: Config(Validation("..")).
std::string debug(const AppError& error);
// The next error of the cause chain: for Config and Acquisition the source of the inner error,
// for Connection by its variant, for the rest the payload itself.
std::optional<ErrorRef> source(const AppError& error);

}  // namespace vireo
