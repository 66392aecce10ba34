#include "platform/tcp_socket.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "common/socket_address.hpp"
#include "platform/posix/descriptor_guard.hpp"

namespace vireo::platform {

namespace {

using Clock = std::chrono::steady_clock;

struct NativeAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

NativeAddress to_native(const SocketAddress& address) {
    NativeAddress native;
    if (address.is_v6) {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(address.port);
        std::memcpy(&v6.sin6_addr, address.ip.data(), sizeof v6.sin6_addr);
        v6.sin6_scope_id = address.scope_id;
        std::memcpy(&native.storage, &v6, sizeof v6);
        native.length = sizeof v6;
    } else {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(address.port);
        std::memcpy(&v4.sin_addr, address.ip.data(), sizeof v4.sin_addr);
        std::memcpy(&native.storage, &v4, sizeof v4);
        native.length = sizeof v4;
    }
    return native;
}

std::expected<void, IoError> set_blocking(int fd, bool blocking) {
    int non_blocking = blocking ? 0 : 1;
    if (::ioctl(fd, FIONBIO, &non_blocking) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

// The longest wait for a connect, 2147483647 seconds; a longer one would overflow the clock.
constexpr std::uint64_t MAX_CONNECT_WAIT_MS = 2147483647ULL * 1000;

// Waits for the started connect to finish within `timeout_ms`.
std::expected<void, IoError> await_connect(int fd, std::uint64_t timeout_ms) {
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(std::min(timeout_ms, MAX_CONNECT_WAIT_MS));
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int wait = left <= 0 ? 0 : (left > INT_MAX ? INT_MAX : static_cast<int>(left));
        pollfd waiting{fd, POLLOUT, 0};
        const int ready = ::poll(&waiting, 1, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return std::unexpected(IoError::last_os_error());
        }
        if (ready == 0) {
            return std::unexpected(
                IoError::with_message(IoErrorKind::TimedOut, "connection timed out"));
        }
        break;
    }
    // A refused or failed connect also wakes poll; the pending error tells them apart.
    int pending = 0;
    socklen_t length = sizeof pending;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    if (pending != 0) {
        return std::unexpected(IoError::from_os(pending));
    }
    return {};
}

std::expected<void, IoError> set_option(int fd, int level, int name, const void* value,
                                        socklen_t length) {
    if (::setsockopt(fd, level, name, value, length) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

}  // namespace

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

TcpSocket::~TcpSocket() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::expected<std::size_t, IoError> TcpSocket::read(std::span<std::uint8_t> buffer) {
    const std::size_t length = buffer.size() > INT_MAX ? INT_MAX : buffer.size();
    const ssize_t count = ::recv(fd_, buffer.data(), length, 0);
    if (count >= 0) {
        return static_cast<std::size_t>(count);
    }
    const int error = errno;
    // A blocking socket reports an expired SO_RCVTIMEO as EAGAIN.
    if (error == EAGAIN || error == EWOULDBLOCK) {
        return std::unexpected(timed_out());
    }
    if (error == ESHUTDOWN) {
        return 0;
    }
    return std::unexpected(IoError::from_os(error));
}

std::expected<bool, IoError> TcpSocket::wait_readable(std::chrono::milliseconds wait) {
    return platform::wait_readable(fd_, wait);
}

std::expected<std::size_t, IoError> TcpSocket::write(std::span<const std::uint8_t> bytes) {
    const std::size_t length = bytes.size() > INT_MAX ? INT_MAX : bytes.size();
    const ssize_t count = ::send(fd_, bytes.data(), length, MSG_NOSIGNAL);
    if (count >= 0) {
        return static_cast<std::size_t>(count);
    }
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) {
        return std::unexpected(timed_out());
    }
    return std::unexpected(IoError::from_os(error));
}

std::expected<TcpSocket, IoError> connect_tcp_socket(std::string_view address,
                                                     std::uint64_t timeout_ms) {
    const auto parsed = parse_socket_address(address);
    if (!parsed) {
        return std::unexpected(
            IoError::with_message(IoErrorKind::InvalidInput, "invalid socket address syntax"));
    }
    // SO_RCVTIMEO and SO_SNDTIMEO read a zero time as "wait for ever".
    if (timeout_ms == 0) {
        return std::unexpected(
            IoError::with_message(IoErrorKind::InvalidInput, "cannot set a 0 duration timeout"));
    }
    const NativeAddress native = to_native(*parsed);

    DescriptorGuard fd(::socket(native.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        return std::unexpected(IoError::last_os_error());
    }

    if (auto done = set_blocking(fd.get(), false); !done) {
        return std::unexpected(done.error());
    }
    const int connected =
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&native.storage), native.length);
    const int connect_error = connected == 0 ? 0 : errno;
    if (auto done = set_blocking(fd.get(), true); !done) {
        return std::unexpected(done.error());
    }
    if (connect_error != 0) {
        if (connect_error != EINPROGRESS && connect_error != EINTR) {
            return std::unexpected(IoError::from_os(connect_error));
        }
        if (auto done = await_connect(fd.get(), timeout_ms); !done) {
            return std::unexpected(done.error());
        }
    }

    const std::uint64_t seconds = timeout_ms / 1000;
    timeval timeout{};
    timeout.tv_sec = seconds > INT_MAX ? INT_MAX : static_cast<time_t>(seconds);
    timeout.tv_usec = static_cast<suseconds_t>((timeout_ms % 1000) * 1000);
    const int no_delay = 1;
    if (auto done = set_option(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        !done) {
        return std::unexpected(done.error());
    }
    if (auto done = set_option(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        !done) {
        return std::unexpected(done.error());
    }
    if (auto done = set_option(fd.get(), IPPROTO_TCP, TCP_NODELAY, &no_delay, sizeof no_delay);
        !done) {
        return std::unexpected(done.error());
    }
    return TcpSocket(fd.release());
}

}  // namespace vireo::platform
