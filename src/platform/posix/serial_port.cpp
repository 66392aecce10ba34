#include "platform/serial_port.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "platform/posix/descriptor_guard.hpp"
#include "platform/posix/serial_custom_baud.hpp"

namespace vireo::platform {

namespace {

using Clock = std::chrono::steady_clock;

struct StandardRate {
    std::uint32_t baudrate;
    speed_t speed;
};

constexpr StandardRate STANDARD_RATES[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> standard_speed(std::uint32_t baudrate) {
    for (const auto& rate : STANDARD_RATES) {
        if (rate.baudrate == baudrate) {
            return rate.speed;
        }
    }
    return std::nullopt;
}

// Raw 8N1, receiver on, modem status lines ignored, no parity, flow control or translation.
void make_raw(termios& settings) {
    settings.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                               ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &=
        ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | IEXTEN | TOSTOP);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    // Reads are paced by poll, so read() itself never waits.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
}

int poll_timeout(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
        return 0;
    }
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

}  // namespace

SerialPort::SerialPort(SerialPort&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      timeout_ms_(other.timeout_ms_),
      release_exclusive_(other.release_exclusive_) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        close_port();
        fd_ = std::exchange(other.fd_, -1);
        timeout_ms_ = other.timeout_ms_;
        release_exclusive_ = other.release_exclusive_;
    }
    return *this;
}

SerialPort::~SerialPort() {
    close_port();
}

void SerialPort::close_port() {
    if (fd_ < 0) {
        return;
    }
    // The terminal keeps TIOCEXCL past the last close; left set, it would refuse the user's
    // next run.
    if (release_exclusive_) {
        ::ioctl(fd_, TIOCNXCL);
    }
    // Bytes the device never took would hold close() for the driver's closing wait (30 s on
    // Linux); after a failure they are of no use, so they go first.
    ::tcflush(fd_, TCOFLUSH);
    ::close(fd_);
    fd_ = -1;
}

std::expected<std::size_t, IoError> SerialPort::read(std::span<std::uint8_t> buffer) {
    if (buffer.empty()) {
        return 0;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    for (;;) {
        pollfd waiting{fd_, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, poll_timeout(deadline));
        if (ready < 0 && errno != EINTR) {
            return std::unexpected(IoError::last_os_error());
        }
        // Every retry (a signal, or a port that reports data it then has not) stays within
        // the time-out; signals that keep coming must not stretch it for ever.
        if (ready == 0 || (ready < 0 && Clock::now() >= deadline)) {
            return std::unexpected(timed_out());
        }
        if (ready < 0) {
            continue;
        }
        const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
        if (count >= 0) {
            return static_cast<std::size_t>(count);
        }
        const int error = errno;
        // A hung-up terminal (a pseudo-terminal whose other side closed) answers EIO.
        if (error == EIO && (waiting.revents & POLLHUP) != 0) {
            return 0;
        }
        if (error != EAGAIN && error != EINTR) {
            return std::unexpected(IoError::from_os(error));
        }
        if (Clock::now() >= deadline) {
            return std::unexpected(timed_out());
        }
    }
}

std::expected<std::size_t, IoError> SerialPort::write(std::span<const std::uint8_t> bytes) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    std::size_t written = 0;
    while (written < bytes.size()) {
        pollfd waiting{fd_, POLLOUT, 0};
        const int ready = ::poll(&waiting, 1, poll_timeout(deadline));
        if (ready == 0) {
            break;
        }
        ssize_t count = -1;
        if (ready > 0) {
            count = ::write(fd_, bytes.data() + written, bytes.size() - written);
        }
        if (count < 0) {
            const int error = errno;
            if (error == EINTR || error == EAGAIN) {
                // A port that keeps reporting room it then refuses must not spin for ever.
                if (Clock::now() >= deadline) {
                    break;
                }
                continue;
            }
            if (written > 0) {
                break;
            }
            return std::unexpected(IoError::from_os(error));
        }
        written += static_cast<std::size_t>(count);
    }
    return written;
}

std::expected<bool, IoError> SerialPort::wait_readable(std::chrono::milliseconds wait) {
    return platform::wait_readable(fd_, wait);
}

std::expected<void, IoError> SerialPort::flush() {
    // tcdrain alone waits for ever on a device that has stopped taking data (the bytes sit in
    // the driver's queue, where the write's time-out no longer reaches them), so the queue is
    // watched until it empties within the time-out first.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    for (;;) {
        int queued = 0;
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(IoError::last_os_error());
        }
        if (queued <= 0) {
            break;
        }
        if (Clock::now() >= deadline) {
            return std::unexpected(timed_out());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    while (::tcdrain(fd_) != 0) {
        if (errno != EINTR) {
            return std::unexpected(IoError::last_os_error());
        }
    }
    return {};
}

std::expected<SerialPort, SerialError> open_serial_port(std::string_view path,
                                                        std::uint32_t baudrate,
                                                        std::uint64_t timeout_ms) {
    const std::string device(path);
    if (device.find('\0') != std::string::npos) {
        return std::unexpected(SerialError::from_os(ENOENT));
    }
    // Non-blocking, so that neither a missing carrier nor a full output queue can hold the
    // worker beyond its time-outs.
    DescriptorGuard fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        return std::unexpected(SerialError::from_os(errno));
    }
    // TIOCEXCL keeps other programs out; root ignores it, so a lock keeps a second Vireo out.
    // The lock comes first: a second Vireo turned away must not touch the first one's hold.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return std::unexpected(SerialError::from_os(errno));
    }
    int held_already = 0;
    if (::ioctl(fd.get(), TIOCGEXCL, &held_already) != 0) {
        held_already = 0;
    }
    if (::ioctl(fd.get(), TIOCEXCL) != 0) {
        return std::unexpected(SerialError::from_os(errno));
    }
    const int timeout = timeout_ms > INT_MAX ? INT_MAX : static_cast<int>(timeout_ms);
    // From here on every failure closes the port through its destructor, which gives the hold
    // back.
    SerialPort port(fd.release(), timeout, held_already == 0);

    termios settings{};
    if (::tcgetattr(port.fd_, &settings) != 0) {
        return std::unexpected(SerialError::from_os(errno));
    }
    make_raw(settings);
    const auto speed = standard_speed(baudrate);
    if (speed) {
        // A custom rate set earlier leaves the input side in CIBAUD, which cfsetspeed does
        // not touch; cleared, the input follows the output again.
        settings.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
        if (::cfsetspeed(&settings, *speed) != 0) {
            return std::unexpected(SerialError::from_os(errno));
        }
    }
    if (::tcsetattr(port.fd_, TCSANOW, &settings) != 0) {
        return std::unexpected(SerialError::from_os(errno));
    }
    if (!speed) {
        if (const int error = detail::set_custom_baud(port.fd_, baudrate); error != 0) {
            return std::unexpected(SerialError::from_os(error));
        }
    }

    // Devices without modem lines (pseudo-terminals among them) refuse this; that is fine.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(port.fd_, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
        return std::unexpected(SerialError::from_os(errno));
    }
    return port;
}

}  // namespace vireo::platform
