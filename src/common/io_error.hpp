#pragma once
// The I/O error value every layer carries: an operating-system error code, or a kind with a
// fixed message.

#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace vireo {

enum class IoErrorKind {
    NotFound,
    PermissionDenied,
    ConnectionRefused,
    ConnectionReset,
    ConnectionAborted,
    NotConnected,
    AddrInUse,
    AddrNotAvailable,
    NetworkUnreachable,
    HostUnreachable,
    BrokenPipe,
    AlreadyExists,
    WouldBlock,
    NotADirectory,
    IsADirectory,
    StorageFull,
    FileTooLarge,
    InvalidInput,
    InvalidData,
    TimedOut,
    WriteZero,
    Interrupted,
    Unsupported,
    UnexpectedEof,
    OutOfMemory,
    Other,
    Uncategorized,
};

// The kind's name as the debug forms write it ("TimedOut").
std::string_view kind_name(IoErrorKind kind);
// The kind's own short description ("timed out"), used when an error has nothing more to say.
std::string_view kind_description(IoErrorKind kind);
// The kind an errno value belongs to.
IoErrorKind kind_of_os_error(int code);

class IoError {
  public:
    // An errno value; its text is the system's message and " (os error N)".
    static IoError from_os(int code);
    // The errno of the call that just failed.
    static IoError last_os_error();
    // A bare kind; its text is the kind's description.
    static IoError from_kind(IoErrorKind kind);
    // A kind with a fixed message ("failed to fill whole buffer").
    static IoError with_message(IoErrorKind kind, std::string message);

    IoErrorKind kind() const { return kind_; }
    std::optional<int> os_code() const { return os_code_; }
    // The fixed message, if the error has one.
    const std::string& message() const { return message_; }

    friend bool operator==(const IoError&, const IoError&) = default;

  private:
    enum class Repr { Os, Simple, Custom };
    IoError(Repr repr, IoErrorKind kind, std::optional<int> code, std::string message)
        : repr_(repr), kind_(kind), os_code_(code), message_(std::move(message)) {}

    Repr repr_;
    IoErrorKind kind_;
    std::optional<int> os_code_;
    std::string message_;

    friend std::string display(const IoError&);
    friend std::string debug(const IoError&);
};

std::string display(const IoError& error);
// Os { code: 2, kind: NotFound, message: "No such file or directory" }, Kind(TimedOut),
// Custom { kind: InvalidInput, error: "missing file name" }
std::string debug(const IoError& error);
std::optional<ErrorRef> source(const IoError& error);

// The system's message for an errno value, without trailing white space.
std::string os_error_text(int code);

}  // namespace vireo
