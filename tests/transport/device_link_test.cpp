#include "transport/device_link.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "instrument_double.hpp"
#include "scripted_peer.hpp"
#include "test_config.hpp"
#include "tty_speed.hpp"

namespace vireo {
namespace {

using namespace std::chrono_literals;
using test::PeerEnd;
using test::PtyPeer;
using test::TcpPeer;

Config tcp_config(const std::string& address, std::uint64_t timeout_ms = 2000) {
    Config config = test::default_config();
    config.connection.backend = ConnectionBackend::Tcp;
    config.connection.tcp_address = address;
    config.connection.tcp_timeout_ms = timeout_ms;
    return config;
}

Config serial_config(const std::string& path, std::uint64_t timeout_ms = 2000) {
    Config config = test::default_config();
    config.connection.backend = ConnectionBackend::Serial;
    config.port = path;
    config.baudrate = 115200;
    config.serial.timeout_ms = timeout_ms;
    return config;
}

DeviceLink open_or_die(const Config& config) {
    auto link = open_link(config);
    if (!link) {
        ADD_FAILURE() << display(link.error());
        std::abort();
    }
    return std::move(*link);
}

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::expected<std::string, IoError> read_exactly(DeviceLink& link, std::size_t n) {
    std::string text(n, '\0');
    auto read = read_exact(link, std::span(reinterpret_cast<std::uint8_t*>(text.data()), n));
    if (!read) {
        return std::unexpected(read.error());
    }
    return text;
}

// The bytes, or the error's text, for comparisons that print well.
std::string read_text(DeviceLink& link, std::size_t n) {
    auto read = read_exactly(link, n);
    return read ? *read : "error: " + display(read.error());
}

// A loopback port on which nothing listens.
std::string closed_port_address() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

TEST(TcpLink, CarriesBytesBothWaysAndTakesTheReplyLimitFromTheSerialSection) {
    std::promise<std::string> received;
    TcpPeer peer([&](PeerEnd& end) {
        end.send("hello");
        received.set_value(end.read_until('!'));
    });
    Config config = tcp_config(peer.address());
    config.port = "/dev/not-looked-at";
    config.serial.max_response_bytes = 4096;
    DeviceLink link = open_or_die(config);
    EXPECT_EQ(link.max_response_bytes(), 4096u);

    EXPECT_EQ(read_text(link, 5), "hello");
    ASSERT_TRUE(write_all_stream(link.reader().stream(), bytes_of("out!")));
    ASSERT_TRUE(flush_stream(link.reader().stream()));
    EXPECT_EQ(received.get_future().get(), "out!");
}

TEST(TcpLink, TakesTheLongestTimeOuts) {
    // A time-out this long must not wrap round into a wait that has already expired.
    for (const std::uint64_t timeout_ms :
         {std::uint64_t{10'000'000'000'000}, std::numeric_limits<std::uint64_t>::max()}) {
        SCOPED_TRACE(timeout_ms);
        TcpPeer peer([](PeerEnd& end) { end.send("ok"); });
        auto stream = connect_tcp(peer.address(), timeout_ms);
        ASSERT_TRUE(stream) << display(stream.error());
        std::uint8_t reply[2] = {};
        EXPECT_EQ(read_stream(*stream, reply), 2u);
    }
}

TEST(TcpLink, ConnectsOverIpv6Loopback) {
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Basic});
    DeviceLink link = open_or_die(tcp_config(instrument.listen_tcp("[::1]:0")));
    EXPECT_EQ(read_text(link, 16), "\r\ntinySA Shell\r\n");
}

TEST(TcpLink, LargeReadsBypassTheBuffer) {
    const std::string payload(9000, 'a');
    std::promise<void> sent;
    TcpPeer peer([&](PeerEnd& end) {
        end.send(payload + std::string(100, 'b'));
        sent.set_value();
        end.read_to_end();
    });
    DeviceLink link = open_or_die(tcp_config(peer.address()));
    sent.get_future().wait();
    std::this_thread::sleep_for(50ms);  // let every byte reach the socket

    EXPECT_EQ(read_text(link, 9000), payload);
    // Read through the buffer, the 100 further bytes would be waiting in it now.
    EXPECT_EQ(link.reader().buffered(), 0u);
    EXPECT_EQ(read_text(link, 100), std::string(100, 'b'));
}

TEST(TcpLink, ClosedPeerEndsAnExactRead) {
    TcpPeer peer([](PeerEnd& end) { end.send("abc"); });
    DeviceLink link = open_or_die(tcp_config(peer.address()));
    const auto read = read_exactly(link, 5);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind(), IoErrorKind::UnexpectedEof);
    EXPECT_EQ(display(read.error()), "failed to fill whole buffer");
}

// Devices hand out bytes in pieces of any size; exact reads must join them in order whether
// they go through the buffer or straight into the caller's memory.
TEST(MemoryLink, ExactReadsJoinPiecesOfAnySize) {
    std::string input;
    for (int i = 0; i < 10000; ++i) {
        input += static_cast<char>(i % 251);
    }
    for (const std::size_t max_read :
         {std::size_t{1}, std::size_t{3}, std::size_t{4096}, BufferedReader::CAPACITY,
          std::numeric_limits<std::size_t>::max()}) {
        SCOPED_TRACE(max_read);
        DeviceLink link(TransportStream(TransportStream::Memory{input, max_read, {}, 0}), 65536);
        EXPECT_EQ(read_text(link, 5), input.substr(0, 5));
        EXPECT_EQ(read_text(link, 9000), input.substr(5, 9000));
        EXPECT_EQ(read_text(link, 995), input.substr(9005));
        EXPECT_EQ(read_text(link, 1), "error: failed to fill whole buffer");

        ASSERT_TRUE(write_all_stream(link.reader().stream(), bytes_of("scanraw\r")));
        EXPECT_EQ(std::get<TransportStream::Memory>(link.reader().stream().value()).written,
                  "scanraw\r");
    }
}

TEST(TcpLink, SilentPeerTimesOutEachRead) {
    TcpPeer peer([](PeerEnd& end) { end.read_to_end(); });
    DeviceLink link = open_or_die(tcp_config(peer.address(), 50));
    const auto read = read_exactly(link, 1);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind(), IoErrorKind::TimedOut);
    EXPECT_EQ(display(read.error()), "Operation timed out");
}

TEST(TcpLink, WritingToAClosedPeerIsAnErrorNotASignal) {
    TcpPeer peer([](PeerEnd& end) { end.close(); });
    DeviceLink link = open_or_die(tcp_config(peer.address()));
    ASSERT_FALSE(read_exactly(link, 1));  // the peer's close has arrived

    // The first write after the close is accepted locally; the peer's reset fails a later one.
    std::expected<void, IoError> written;
    for (int attempt = 0; attempt < 100 && written; ++attempt) {
        written = write_all_stream(link.reader().stream(), bytes_of("version\r"));
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_FALSE(written);
    const IoErrorKind kind = written.error().kind();
    EXPECT_TRUE(kind == IoErrorKind::BrokenPipe || kind == IoErrorKind::ConnectionReset)
        << debug(written.error());
    EXPECT_TRUE(written.error().os_code().has_value());
}

TEST(TcpLink, OpeningFailuresNameTheirCause) {
    const auto refused = open_link(tcp_config(closed_port_address()));
    ASSERT_FALSE(refused);
    EXPECT_EQ(display(refused.error()), "TCP connection: Connection refused (os error 111)");

    const auto syntax = connect_tcp("localhost:7355", 1000);
    ASSERT_FALSE(syntax);
    EXPECT_EQ(syntax.error().kind(), IoErrorKind::InvalidInput);
    EXPECT_EQ(display(ConnectionError(ConnectionError::Tcp{syntax.error()})),
              "TCP connection: invalid socket address syntax");
}

TEST(TcpLink, ConnectGivesUpAfterTheTimeOut) {
    // A listener whose accept queue is full drops further handshakes, so a connect to it
    // hangs like one to a host that does not answer.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string target = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    std::vector<DeviceLink> queued;
    std::optional<ConnectionError> failure;
    for (int attempt = 0; attempt < 8 && !failure; ++attempt) {
        auto link = open_link(tcp_config(target, 200));
        if (link) {
            queued.push_back(std::move(*link));
        } else {
            failure = link.error();
        }
    }
    ::close(listener);
    ASSERT_TRUE(failure);
    EXPECT_EQ(display(*failure), "TCP connection: connection timed out");
    const auto* tcp = std::get_if<ConnectionError::Tcp>(&failure->value());
    ASSERT_NE(tcp, nullptr);
    EXPECT_EQ(tcp->error.kind(), IoErrorKind::TimedOut);
}

void ignore_signal(int) {}

// SIGUSR1 handled without SA_RESTART for the guard's life, so a blocked call it hits returns
// EINTR (or a short count) instead of being restarted by the system.
class Sigusr1Interrupts {
  public:
    Sigusr1Interrupts() {
        struct sigaction action {};
        action.sa_handler = ignore_signal;
        sigemptyset(&action.sa_mask);
        EXPECT_EQ(::sigaction(SIGUSR1, &action, &previous_), 0);
    }
    Sigusr1Interrupts(const Sigusr1Interrupts&) = delete;
    Sigusr1Interrupts& operator=(const Sigusr1Interrupts&) = delete;
    ~Sigusr1Interrupts() { ::sigaction(SIGUSR1, &previous_, nullptr); }

  private:
    struct sigaction previous_ {};
};

TEST(DeviceLink, RetriesAReadThatASignalInterrupted) {
    // Without SA_RESTART the blocked read returns EINTR, which the link must not pass on.
    const Sigusr1Interrupts interrupts;

    for (const bool serial : {false, true}) {
        SCOPED_TRACE(serial ? "serial" : "TCP");
        std::promise<void> interrupted;
        const auto script = [&](PeerEnd& end) {
            interrupted.get_future().wait();
            end.send("late");
            end.read_to_end();
        };
        std::optional<TcpPeer> tcp;
        std::optional<PtyPeer> pty;
        DeviceLink link = serial ? open_or_die(serial_config(pty.emplace(script).path()))
                                 : open_or_die(tcp_config(tcp.emplace(script).address()));
        const pthread_t reader = ::pthread_self();
        std::thread interrupter([&] {
            std::this_thread::sleep_for(50ms);
            ::pthread_kill(reader, SIGUSR1);
            std::this_thread::sleep_for(50ms);
            interrupted.set_value();
        });
        EXPECT_EQ(read_text(link, 4), "late");
        interrupter.join();
    }
}

// Before, every interrupted wait started the port's time-out afresh, so a read under a steady
// stream of signals never ended.
TEST(SerialLink, SignalsThatKeepComingDoNotStretchTheReadTimeOut) {
    const Sigusr1Interrupts interrupts;

    PtyPeer peer([](PeerEnd& end) { end.read_to_end(); });
    DeviceLink link = open_or_die(serial_config(peer.path(), 50));
    const pthread_t reader = ::pthread_self();
    std::atomic<bool> read_ended{false};
    std::atomic<bool> gave_up{false};
    std::thread interrupter([&] {
        // Far longer than the time-out; the read has to end while the signals still come.
        const auto stop = std::chrono::steady_clock::now() + 10s;
        while (!read_ended) {
            if (std::chrono::steady_clock::now() > stop) {
                gave_up = true;
                break;
            }
            ::pthread_kill(reader, SIGUSR1);
            std::this_thread::sleep_for(1ms);
        }
    });
    const auto read = read_exactly(link, 1);
    read_ended = true;
    interrupter.join();

    EXPECT_FALSE(gave_up);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind(), IoErrorKind::TimedOut);
}

TEST(TcpLink, APeerThatStopsReadingGivesTheWriteTimeOut) {
    std::promise<void> written;
    TcpPeer peer([&](PeerEnd&) { written.get_future().wait(); });
    DeviceLink link = open_or_die(tcp_config(peer.address(), 100));
    // More than the socket buffers of both ends hold.
    const std::string flood(64 << 20, 'a');
    const auto result = write_all_stream(link.reader().stream(), bytes_of(flood));
    written.set_value();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind(), IoErrorKind::TimedOut);
    EXPECT_EQ(display(result.error()), "Operation timed out");
}

TEST(DeviceLink, RetriesAWriteThatASignalInterrupted) {
    // Without SA_RESTART a blocked send or wait ends early with EINTR or a short count.
    const Sigusr1Interrupts interrupts;

    for (const bool serial : {false, true}) {
        SCOPED_TRACE(serial ? "serial" : "TCP");
        // Far more than fits in the link's buffers, so the writer waits while it is signalled.
        const std::string payload = std::string(serial ? 256 << 10 : 16 << 20, 'a') + "!";
        std::promise<std::size_t> received;
        const auto script = [&](PeerEnd& end) {
            std::this_thread::sleep_for(200ms);
            received.set_value(end.count_until('!'));
            end.read_to_end();
        };
        std::optional<TcpPeer> tcp;
        std::optional<PtyPeer> pty;
        DeviceLink link = serial ? open_or_die(serial_config(pty.emplace(script).path(), 5000))
                                 : open_or_die(tcp_config(tcp.emplace(script).address(), 5000));
        const pthread_t writer = ::pthread_self();
        std::atomic<bool> done{false};
        std::thread interrupter([&] {
            while (!done) {
                ::pthread_kill(writer, SIGUSR1);
                std::this_thread::sleep_for(5ms);
            }
        });
        const auto result = write_all_stream(link.reader().stream(), bytes_of(payload));
        done = true;
        interrupter.join();
        EXPECT_TRUE(result) << display(result.error());
        EXPECT_EQ(received.get_future().get(), payload.size());
    }
}

TEST(OpenLink, RefusesAnInvalidConfigurationBeforeConnecting) {
    Config config = tcp_config(closed_port_address());
    config.serial.max_response_bytes = 255;
    const auto link = open_link(config);
    ASSERT_FALSE(link);
    ASSERT_TRUE(std::holds_alternative<ConnectionError::Config>(link.error().value()));
    EXPECT_EQ(display(link.error()),
              "invalid configuration: serial.max_response_bytes must be in 256..=16777216");
}

TEST(SerialLink, OpensThePortRaw8N1WithoutFlowControl) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    char name[256] = {};
    ASSERT_EQ(::ttyname_r(slave, name, sizeof name), 0);
    {
        auto link = open_link(serial_config(name));
        ASSERT_TRUE(link) << display(link.error());
        termios settings{};
        ASSERT_EQ(::tcgetattr(slave, &settings), 0);
        EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(settings.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
        EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | BRKINT | ISTRIP), 0u);
        EXPECT_EQ(settings.c_oflag & OPOST, 0u);
        EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B115200));
        EXPECT_EQ(::cfgetispeed(&settings), static_cast<speed_t>(B115200));
    }
    ::close(slave);
    ::close(master);
}

TEST(SerialLink, PassesTheRateThroughUnchanged) {
    PtyPeer peer([](PeerEnd&) {});
    const int watcher = ::open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(watcher, 0);
    for (const std::uint32_t baudrate : {115200u, 1843200u, 9600u}) {
        SCOPED_TRACE(baudrate);
        const auto stream = open_serial(peer.path(), baudrate, 100);
        ASSERT_TRUE(stream) << display(stream.error());
        const test::TtySpeed speed = test::tty_speed(watcher);
        EXPECT_EQ(speed.output, baudrate);
        EXPECT_EQ(speed.input, baudrate);
    }
    ::close(watcher);
}

// Whether the terminal refuses further opens to all but privileged users (TIOCEXCL).
int exclusive_flag(int fd) {
    int flag = -1;
    EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &flag), 0);
    return flag;
}

TEST(SerialLink, KeepsThePortToItselfAndGivesItBackWhenClosed) {
    PtyPeer peer([](PeerEnd&) {});
    const int watcher = ::open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(watcher, 0);
    {
        DeviceLink first = open_or_die(serial_config(peer.path()));
        EXPECT_EQ(exclusive_flag(watcher), 1);
        const auto second = open_link(serial_config(peer.path()));
        ASSERT_FALSE(second);
        ASSERT_TRUE(std::holds_alternative<ConnectionError::Serial>(second.error().value()));
        EXPECT_TRUE(display(second.error()).starts_with("serial connection: "));
        // The refused opener leaves the first one's hold in place.
        EXPECT_EQ(exclusive_flag(watcher), 1);
    }
    // A hold left behind would make the port busy for the user's next run.
    EXPECT_EQ(exclusive_flag(watcher), 0);
    ::close(watcher);
}

TEST(SerialLink, LeavesAnotherProgramsExclusiveHoldInPlace) {
    PtyPeer peer([](PeerEnd&) {});
    const int other = ::open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::ioctl(other, TIOCEXCL), 0);
    const bool opened = open_link(serial_config(peer.path())).has_value();
    const int flag = exclusive_flag(other);
    ::close(other);
    if (!opened) {
        GTEST_SKIP() << "only a privileged user gets past another program's hold";
    }
    EXPECT_EQ(flag, 1);
}

TEST(SerialLink, OpeningFailuresShowTheSystemMessage) {
    const auto missing = open_link(serial_config("/dev/vireo-no-such-port"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(display(missing.error()), "serial connection: No such file or directory");

    const auto not_a_port = open_link(serial_config("/dev/null"));
    ASSERT_FALSE(not_a_port);
    EXPECT_EQ(display(not_a_port.error()), "serial connection: Inappropriate ioctl for device");
}

TEST(SerialLink, CarriesBytesBothWays) {
    std::promise<std::string> received;
    PtyPeer peer([&](PeerEnd& end) {
        received.set_value(end.read_until('\r'));
        end.send("reply");
    });
    DeviceLink link = open_or_die(serial_config(peer.path()));
    ASSERT_TRUE(write_all_stream(link.reader().stream(), bytes_of("version\r")));
    ASSERT_TRUE(flush_stream(link.reader().stream()));
    EXPECT_EQ(received.get_future().get(), "version\r");
    EXPECT_EQ(read_text(link, 5), "reply");
}

TEST(SerialLink, AWriteTheDeviceNeverTakesEndsAsWriteZero) {
    PtyPeer peer([](PeerEnd&) {});  // never reads, so the terminal's queue fills up
    DeviceLink link = open_or_die(serial_config(peer.path(), 50));
    const std::string flood(1 << 20, 'a');
    const auto written = write_all_stream(link.reader().stream(), bytes_of(flood));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind(), IoErrorKind::WriteZero);
    EXPECT_EQ(display(written.error()), "failed to write whole buffer");
}

// Closing with bytes the device never took waits on a real serial driver for its closing wait
// (30 s); the port discards them instead. A pseudo-terminal does not wait, but shows the discard:
// its other side gets fewer bytes than went out.
TEST(SerialLink, ClosingDiscardsOutputTheDeviceNeverTook) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    char name[256] = {};
    ASSERT_EQ(::ttyname_r(slave, name, sizeof name), 0);
    ::close(slave);
    std::size_t written = 0;
    {
        auto port = platform::open_serial_port(name, 115200, 50);
        ASSERT_TRUE(port) << display(port.error());
        const std::string flood(1 << 16, 'a');
        for (;;) {
            const auto count = port->write(bytes_of(flood));
            ASSERT_TRUE(count) << display(count.error());
            if (*count == 0) {
                break;
            }
            written += *count;
        }
    }
    ASSERT_EQ(::fcntl(master, F_SETFL, O_NONBLOCK), 0);
    std::size_t received = 0;
    char buffer[4096];
    for (ssize_t count; (count = ::read(master, buffer, sizeof buffer)) > 0;) {
        received += static_cast<std::size_t>(count);
    }
    ::close(master);
    EXPECT_LT(received, written);
}

TEST(SerialLink, SilentDeviceTimesOutEachRead) {
    PtyPeer peer([](PeerEnd& end) { end.read_to_end(); });
    DeviceLink link = open_or_die(serial_config(peer.path(), 50));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto read = read_exactly(link, 1);
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error().kind(), IoErrorKind::TimedOut);
        EXPECT_EQ(display(read.error()), "Operation timed out");
    }
}

TEST(SerialLink, TricklingBytesNeverTimeOut) {
    PtyPeer peer([](PeerEnd& end) {
        end.read_until('\r');
        end.send_slowly("trickle", 30ms);
    });
    DeviceLink link = open_or_die(serial_config(peer.path(), 300));
    ASSERT_TRUE(write_all_stream(link.reader().stream(), bytes_of("go\r")));
    EXPECT_EQ(read_text(link, 7), "trickle");
}

TEST(SerialLink, HangUpEndsTheStream) {
    PtyPeer peer([](PeerEnd& end) {
        end.read_until('\r');
        end.send("ab");
        end.close();
    });
    DeviceLink link = open_or_die(serial_config(peer.path()));
    ASSERT_TRUE(write_all_stream(link.reader().stream(), bytes_of("go\r")));
    const auto read = read_exactly(link, 3);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind(), IoErrorKind::UnexpectedEof);
    EXPECT_EQ(display(read.error()), "failed to fill whole buffer");
}

}  // namespace
}  // namespace vireo
