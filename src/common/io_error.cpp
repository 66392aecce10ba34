#include "common/io_error.hpp"

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "common/text.hpp"

namespace vireo {

std::string_view kind_name(IoErrorKind kind) {
    switch (kind) {
        case IoErrorKind::NotFound:
            return "NotFound";
        case IoErrorKind::PermissionDenied:
            return "PermissionDenied";
        case IoErrorKind::ConnectionRefused:
            return "ConnectionRefused";
        case IoErrorKind::ConnectionReset:
            return "ConnectionReset";
        case IoErrorKind::ConnectionAborted:
            return "ConnectionAborted";
        case IoErrorKind::NotConnected:
            return "NotConnected";
        case IoErrorKind::AddrInUse:
            return "AddrInUse";
        case IoErrorKind::AddrNotAvailable:
            return "AddrNotAvailable";
        case IoErrorKind::NetworkUnreachable:
            return "NetworkUnreachable";
        case IoErrorKind::HostUnreachable:
            return "HostUnreachable";
        case IoErrorKind::BrokenPipe:
            return "BrokenPipe";
        case IoErrorKind::AlreadyExists:
            return "AlreadyExists";
        case IoErrorKind::WouldBlock:
            return "WouldBlock";
        case IoErrorKind::NotADirectory:
            return "NotADirectory";
        case IoErrorKind::IsADirectory:
            return "IsADirectory";
        case IoErrorKind::StorageFull:
            return "StorageFull";
        case IoErrorKind::FileTooLarge:
            return "FileTooLarge";
        case IoErrorKind::InvalidInput:
            return "InvalidInput";
        case IoErrorKind::InvalidData:
            return "InvalidData";
        case IoErrorKind::TimedOut:
            return "TimedOut";
        case IoErrorKind::WriteZero:
            return "WriteZero";
        case IoErrorKind::Interrupted:
            return "Interrupted";
        case IoErrorKind::Unsupported:
            return "Unsupported";
        case IoErrorKind::UnexpectedEof:
            return "UnexpectedEof";
        case IoErrorKind::OutOfMemory:
            return "OutOfMemory";
        case IoErrorKind::Other:
            return "Other";
        case IoErrorKind::Uncategorized:
            return "Uncategorized";
    }
    return "Uncategorized";
}

std::string_view kind_description(IoErrorKind kind) {
    switch (kind) {
        case IoErrorKind::NotFound:
            return "entity not found";
        case IoErrorKind::PermissionDenied:
            return "permission denied";
        case IoErrorKind::ConnectionRefused:
            return "connection refused";
        case IoErrorKind::ConnectionReset:
            return "connection reset";
        case IoErrorKind::ConnectionAborted:
            return "connection aborted";
        case IoErrorKind::NotConnected:
            return "not connected";
        case IoErrorKind::AddrInUse:
            return "address in use";
        case IoErrorKind::AddrNotAvailable:
            return "address not available";
        case IoErrorKind::NetworkUnreachable:
            return "network unreachable";
        case IoErrorKind::HostUnreachable:
            return "host unreachable";
        case IoErrorKind::BrokenPipe:
            return "broken pipe";
        case IoErrorKind::AlreadyExists:
            return "entity already exists";
        case IoErrorKind::WouldBlock:
            return "operation would block";
        case IoErrorKind::NotADirectory:
            return "not a directory";
        case IoErrorKind::IsADirectory:
            return "is a directory";
        case IoErrorKind::StorageFull:
            return "no storage space";
        case IoErrorKind::FileTooLarge:
            return "file too large";
        case IoErrorKind::InvalidInput:
            return "invalid input parameter";
        case IoErrorKind::InvalidData:
            return "invalid data";
        case IoErrorKind::TimedOut:
            return "timed out";
        case IoErrorKind::WriteZero:
            return "write zero";
        case IoErrorKind::Interrupted:
            return "operation interrupted";
        case IoErrorKind::Unsupported:
            return "unsupported";
        case IoErrorKind::UnexpectedEof:
            return "unexpected end of file";
        case IoErrorKind::OutOfMemory:
            return "out of memory";
        case IoErrorKind::Other:
            return "other error";
        case IoErrorKind::Uncategorized:
            return "uncategorized error";
    }
    return "uncategorized error";
}

IoErrorKind kind_of_os_error(int code) {
    switch (code) {
        case ENOENT:
            return IoErrorKind::NotFound;
        case EACCES:
        case EPERM:
            return IoErrorKind::PermissionDenied;
        case ECONNREFUSED:
            return IoErrorKind::ConnectionRefused;
        case ECONNRESET:
            return IoErrorKind::ConnectionReset;
        case ECONNABORTED:
            return IoErrorKind::ConnectionAborted;
        case ENOTCONN:
            return IoErrorKind::NotConnected;
        case EADDRINUSE:
            return IoErrorKind::AddrInUse;
        case EADDRNOTAVAIL:
            return IoErrorKind::AddrNotAvailable;
        case ENETUNREACH:
            return IoErrorKind::NetworkUnreachable;
        case EHOSTUNREACH:
            return IoErrorKind::HostUnreachable;
        case EPIPE:
            return IoErrorKind::BrokenPipe;
        case EEXIST:
            return IoErrorKind::AlreadyExists;
        case EAGAIN:
            return IoErrorKind::WouldBlock;
        case ENOTDIR:
            return IoErrorKind::NotADirectory;
        case EISDIR:
            return IoErrorKind::IsADirectory;
        case ENOSPC:
            return IoErrorKind::StorageFull;
        case EFBIG:
            return IoErrorKind::FileTooLarge;
        case EINVAL:
            return IoErrorKind::InvalidInput;
        case ETIMEDOUT:
            return IoErrorKind::TimedOut;
        case EINTR:
            return IoErrorKind::Interrupted;
        case ENOSYS:
        case EOPNOTSUPP:
            return IoErrorKind::Unsupported;
        case ENOMEM:
            return IoErrorKind::OutOfMemory;
        default:
            return IoErrorKind::Uncategorized;
    }
}

std::string os_error_text(int code) {
    char buffer[256];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    std::string result = text != nullptr ? text : "";
    while (!result.empty() && (result.back() == ' ' || result.back() == '\n' ||
                               result.back() == '\r' || result.back() == '\t')) {
        result.pop_back();
    }
    return result;
}

IoError IoError::from_os(int code) {
    return IoError(Repr::Os, kind_of_os_error(code), code, {});
}

IoError IoError::last_os_error() {
    return from_os(errno);
}

IoError IoError::from_kind(IoErrorKind kind) {
    return IoError(Repr::Simple, kind, {}, {});
}

IoError IoError::with_message(IoErrorKind kind, std::string message) {
    return IoError(Repr::Custom, kind, {}, std::move(message));
}

std::string display(const IoError& error) {
    switch (error.repr_) {
        case IoError::Repr::Os:
            return fmt::format("{} (os error {})", os_error_text(*error.os_code_), *error.os_code_);
        case IoError::Repr::Simple:
            return std::string(kind_description(error.kind_));
        case IoError::Repr::Custom:
            return error.message_;
    }
    return error.message_;
}

std::string debug(const IoError& error) {
    switch (error.repr_) {
        case IoError::Repr::Os:
            return fmt::format("Os {{ code: {}, kind: {}, message: {} }}", *error.os_code_,
                               kind_name(error.kind_), quoted(os_error_text(*error.os_code_)));
        case IoError::Repr::Simple:
            return fmt::format("Kind({})", kind_name(error.kind_));
        case IoError::Repr::Custom:
            return fmt::format("Custom {{ kind: {}, error: {} }}", kind_name(error.kind_),
                               quoted(error.message_));
    }
    return {};
}

std::optional<ErrorRef> source(const IoError&) {
    return std::nullopt;
}

}  // namespace vireo
