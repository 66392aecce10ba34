#pragma once
// The one error type of the configuration: loading, validation and saving.

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/error.hpp"
#include "common/io_error.hpp"

namespace vireo {

// A reading error of the TOML layer: a syntax error (with its position in the text) or a typed-
// reading error (with the dotted key path down to the value that failed).
struct TomlError {
    struct Position {
        std::size_t line;    // 1-based
        std::size_t column;  // 1-based
        std::string source_line;

        friend bool operator==(const Position&, const Position&) = default;
    };

    std::string message;
    std::vector<std::string> key_path;  // outermost key first
    std::optional<Position> position;

    friend bool operator==(const TomlError&, const TomlError&) = default;
};

// The TOML writer's refusal of a value.
struct TomlWriteError {
    std::string message;

    friend bool operator==(const TomlWriteError&, const TomlWriteError&) = default;
};

std::string display(const TomlError& error);
std::string debug(const TomlError& error);
std::optional<ErrorRef> source(const TomlError& error);
std::string display(const TomlWriteError& error);
std::string debug(const TomlWriteError& error);
std::optional<ErrorRef> source(const TomlWriteError& error);

class ConfigError {
  public:
    struct Io {
        IoError error;
    };
    struct Parse {
        TomlError error;
    };
    struct Serialize {
        TomlWriteError error;
    };
    struct Validation {
        std::string message;
    };
    using Variant = std::variant<Io, Parse, Serialize, Validation>;

    ConfigError(Io v) : value_(std::move(v)) {}
    ConfigError(Parse v) : value_(std::move(v)) {}
    ConfigError(Serialize v) : value_(std::move(v)) {}
    ConfigError(Validation v) : value_(std::move(v)) {}

    const Variant& value() const { return value_; }

  private:
    Variant value_;
};

// "configuration I/O: {}", "invalid configuration: {}", "cannot serialize configuration: {}".
std::string display(const ConfigError& error);
// Validation("baudrate must be in serial.baudrates"), Io(Os { .. }), Parse(..), Serialize(..)
std::string debug(const ConfigError& error);
// The I/O, reading or writing error; none for Validation.
std::optional<ErrorRef> source(const ConfigError& error);

}  // namespace vireo
