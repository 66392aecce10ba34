#pragma once
// Failures of opening the link to the instrument.

#include <optional>
#include <string>
#include <variant>

#include "common/error.hpp"
#include "common/io_error.hpp"
#include "common/serial_error.hpp"
#include "config/config_error.hpp"

namespace vireo {

class ConnectionError {
  public:
    struct Config {
        ConfigError error;
    };
    struct Tcp {
        IoError error;
    };
    struct Serial {
        SerialError error;
    };
    struct SerialFeatureDisabled {};
    using Variant = std::variant<Config, Tcp, Serial, SerialFeatureDisabled>;

    ConnectionError(Config v) : value_(std::move(v)) {}
    ConnectionError(Tcp v) : value_(std::move(v)) {}
    ConnectionError(Serial v) : value_(std::move(v)) {}
    ConnectionError(SerialFeatureDisabled v) : value_(v) {}

    const Variant& value() const { return value_; }

  private:
    Variant value_;
};

// The ConfigError text, "TCP connection: {}", "serial connection: {}", or the build sentence.
std::string display(const ConnectionError& error);
// Config(..), Tcp(..), Serial(..), SerialFeatureDisabled
std::string debug(const ConnectionError& error);
// The source of the ConfigError, the IoError or the SerialError.
std::optional<ErrorRef> source(const ConnectionError& error);

}  // namespace vireo
