#include "instrument_double.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using sim::FaultKind;
using sim::InstrumentDouble;
using sim::Model;
using sim::Options;

constexpr std::string_view BANNER = "\r\ntinySA Shell\r\nch> ";

// A plain client on a socket or a pty descriptor; every read is bounded by a time-out.
class Client {
  public:
    static Client tcp(const std::string& address) {
        const auto colon = address.rfind(':');
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(std::stoi(address.substr(colon + 1))));
        EXPECT_EQ(::inet_pton(AF_INET, address.substr(0, colon).c_str(), &addr.sin_addr), 1);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
        return Client(fd);
    }

    static Client pty(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(fd, 0) << path;
        return Client(fd);
    }

    Client(Client&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    ~Client() { close(); }

    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    void send(std::string_view bytes) {
        while (!bytes.empty()) {
            const auto n = ::write(fd_, bytes.data(), bytes.size());
            ASSERT_GT(n, 0);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    // Everything up to and including the first `marker`; what was read beyond it is kept.
    std::string read_until(std::string_view marker, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (pending_.find(marker) == std::string::npos) {
            if (!fill(deadline)) {
                ADD_FAILURE() << "no " << marker << " after: " << pending_;
                return std::exchange(pending_, {});
            }
        }
        const auto end = pending_.find(marker) + marker.size();
        auto out = pending_.substr(0, end);
        pending_.erase(0, end);
        return out;
    }

    std::string read_exactly(std::size_t n, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (pending_.size() < n && fill(deadline)) {
        }
        EXPECT_GE(pending_.size(), n);
        auto out = pending_.substr(0, n);
        pending_.erase(0, out.size());
        return out;
    }

    // Whatever arrives within `window` (used to show that nothing arrives).
    std::string read_for(std::chrono::milliseconds window) {
        const auto deadline = std::chrono::steady_clock::now() + window;
        while (fill(deadline)) {
        }
        return std::exchange(pending_, {});
    }

    // Everything until the peer closes.
    std::string read_to_eof(std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (fill(deadline)) {
        }
        EXPECT_TRUE(eof_) << "the double did not close";
        return std::exchange(pending_, {});
    }

    // One command line; returns the echo and reply up to and including the prompt.
    std::string command(std::string_view line) {
        send(std::string(line) + "\r");
        return read_until("ch> ");
    }

  private:
    explicit Client(int fd) : fd_(fd) {}

    bool fill(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left < 0ms || eof_) {
            return false;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[65536];
        const auto n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            eof_ = true;
            return false;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    std::string pending_;
    bool eof_ = false;
};

// The frame the double should send for a request, built from its published level function.
std::string expected_frame(std::uint64_t start, std::uint64_t stop, std::uint64_t points,
                           std::uint16_t zero) {
    std::string frame = "{";
    for (std::uint64_t i = 0; i < points; ++i) {
        const auto raw = InstrumentDouble::raw_level(start, stop, points, i, zero);
        frame += 'x';
        frame += static_cast<char>(raw & 0xff);
        frame += static_cast<char>(raw >> 8);
    }
    return frame + "}";
}

Client connect(InstrumentDouble& double_) {
    auto client = Client::tcp(double_.listen_tcp());
    EXPECT_EQ(client.read_until("ch> "), BANNER);
    return client;
}

TEST(InstrumentDouble, RepliesLikeTheShellOfEachModel) {
    struct Case {
        Model model;
        std::string_view line;
        std::string_view reply;
    };
    const Case cases[] = {
        {Model::Basic, "version", "tinySA_v1.4-240-gf5d5bed\r\n"},
        {Model::Ultra, "version", "tinySA4_v1.4-240-gf5d5bed\r\nHW Version:V0.4.5.1 \r\n"},
        {Model::Basic, "help",
         "commands: version info help zero sweep pause resume repeat mode scan scanraw marker "
         "leveloffset vbat usart_cfg threads\r\n"},
        {Model::Ultra, "help",
         "commands: help info zero sweep pause resume repeat mode scan scanraw marker "
         "leveloffset\r\nOther commands: version vbat usart_cfg threads\r\n"},
        {Model::Basic, "zero", "usage: zero {level}\r\n128dBm\r\n"},
        {Model::Ultra, "zero", "usage: zero {level}\r\n174dBm\r\n"},
        {Model::Ultra, "zero 128", ""},
        {Model::Ultra, "repeat 3", ""},
        {Model::Ultra, "pause", ""},
        {Model::Ultra, "resume", ""},
        {Model::Ultra, "sweep", "0 800000000 450\r\n"},
        {Model::Ultra, "sweep start 1000000", ""},
        {Model::Ultra, "sweep stop 2000000", ""},
        {Model::Ultra, "sweep", "1000000 2000000 450\r\n"},
        {Model::Basic, "sweep", "0 350000000 290\r\n"},
        {Model::Basic, "mode low input", ""},
        {Model::Basic, "mode high input", ""},
        {Model::Ultra, "mode low input", ""},
        {Model::Ultra, "mode high input", "usage: mode [low] input|output\r\n"},
        {Model::Basic, "vbat", "4012 mV\r\n"},
        {Model::Ultra, "usart_cfg", "Serial: 115200 baud\r\n"},
        {Model::Ultra, "foo", "foo?\r\n"},
        {Model::Ultra, "VERSION", "VERSION?\r\n"},
        {Model::Ultra, "versions", "versions?\r\n"},
        {Model::Ultra, "scanraw 2 1",
         "usage: scanraw {start(Hz)} {stop(Hz)} [points] [option]\r\n"},
    };
    InstrumentDouble basic({.model = Model::Basic});
    InstrumentDouble ultra({.model = Model::Ultra});
    auto basic_client = connect(basic);
    auto ultra_client = connect(ultra);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto& client = c.model == Model::Basic ? basic_client : ultra_client;
        EXPECT_EQ(client.command(c.line),
                  std::string(c.line) + "\r\n" + std::string(c.reply) + "ch> ");
    }
}

TEST(InstrumentDouble, InfoNamesTheModelOnItsFirstLine) {
    InstrumentDouble basic({.model = Model::Basic});
    InstrumentDouble ultra({.model = Model::Ultra});
    auto b = connect(basic);
    auto u = connect(ultra);
    EXPECT_TRUE(b.command("info").starts_with("info\r\ntinySA v0.3ZS304\r\n"));
    EXPECT_TRUE(u.command("info").starts_with("info\r\ntinySA ULTRA ZS405\r\n"));
}

TEST(InstrumentDouble, EchoesPrintableCharactersAndCutsLongLines) {
    InstrumentDouble instrument;
    auto client = connect(instrument);
    // Split writes, a line feed and another control character in the line.
    client.send("ver");
    EXPECT_EQ(client.read_exactly(3), "ver");
    client.send("s\n\x01ion\r");
    EXPECT_EQ(client.read_until("ch> "),
              "sion\r\ntinySA4_v1.4-240-gf5d5bed\r\nHW Version:V0.4.5.1 \r\nch> ");

    const std::string long_line(60, 'a');
    const std::string kept(47, 'a');
    EXPECT_EQ(client.command(long_line), kept + "\r\n" + kept + "?\r\nch> ");

    // An empty line only shows the prompt again and is not recorded.
    EXPECT_EQ(client.command(""), "\r\nch> ");
    EXPECT_EQ(instrument.received_commands(), (std::vector<std::string>{"version", kept}));
}

TEST(InstrumentDouble, QuietOptionsDropBannerAndEcho) {
    InstrumentDouble instrument({.banner = false, .echo = false});
    auto client = Client::tcp(instrument.listen_tcp());
    EXPECT_EQ(client.command("vbat"), "4012 mV\r\nch> ");
}

TEST(InstrumentDouble, ScanrawSendsTheFrameWithTheZeroOffsetInEffect) {
    InstrumentDouble instrument({.model = Model::Basic});
    auto client = connect(instrument);
    const std::string line = "scanraw 100000000 200000000 5";
    EXPECT_EQ(client.command(line),
              line + "\r\n" + expected_frame(100'000'000, 200'000'000, 5, 128) + "ch> ");
    client.command("zero 100");
    EXPECT_EQ(client.command("zero"),
              "zero\r\nusage: zero {level}\r\n100dBm\r\n"
              "ch> ");
    EXPECT_EQ(client.command(line),
              line + "\r\n" + expected_frame(100'000'000, 200'000'000, 5, 100) + "ch> ");
    // Without points the sweep's point count is used.
    const auto frame = client.command("scanraw 0 290000000");
    EXPECT_EQ(frame.size(), std::string_view("scanraw 0 290000000\r\n").size() + 3 * 290 + 2 + 4);
}

TEST(InstrumentDouble, PointFrequenciesFollowTheFirmwareArithmetic) {
    // step = 560 MHz / 10001 = 55994 Hz; the float product rounds to a multiple of 64 Hz.
    EXPECT_EQ(InstrumentDouble::point_frequency_hz(240'000'000, 800'000'000, 10001, 0),
              240'000'000u);
    EXPECT_EQ(InstrumentDouble::point_frequency_hz(240'000'000, 800'000'000, 10001, 1),
              240'055'994u);
    EXPECT_EQ(InstrumentDouble::point_frequency_hz(240'000'000, 800'000'000, 10001, 10000),
              799'939'968u);
}

TEST(InstrumentDouble, RawLevelEncodesTheSpectrumWithTheOffset) {
    for (const std::uint64_t i : {0u, 1u, 5000u, 10000u}) {
        const auto hz = InstrumentDouble::point_frequency_hz(1'000'000, 800'000'000, 10001, i);
        const auto expected = std::lround((InstrumentDouble::level_dbm(hz) + 174) * 32);
        EXPECT_EQ(InstrumentDouble::raw_level(1'000'000, 800'000'000, 10001, i, 174), expected);
    }
    // A carrier stands out of the noise floor; levels clamp at both ends of 16 bits.
    EXPECT_GT(InstrumentDouble::level_dbm(100'000'000), -36.0);
    const double floor = InstrumentDouble::level_dbm(300'000'000);
    EXPECT_GT(floor, -103.0);
    EXPECT_LT(floor, -97.0);
    EXPECT_EQ(InstrumentDouble::raw_level(300'000'000, 300'000'010, 2, 0, 0), 0);
    EXPECT_EQ(InstrumentDouble::raw_level(100'000'000, 100'000'010, 2, 0, 2100), 65535);
}

TEST(InstrumentDouble, EachClientGetsAFreshSession) {
    InstrumentDouble instrument;
    {
        auto first = connect(instrument);
        first.command("zero 100");
    }
    auto second = connect(instrument);
    EXPECT_EQ(second.command("zero"), "zero\r\nusage: zero {level}\r\n174dBm\r\nch> ");
    EXPECT_EQ(instrument.received_commands(), (std::vector<std::string>{"zero 100", "zero"}));
    EXPECT_EQ(instrument.session_count(), 2u);
}

TEST(InstrumentDouble, RepliesCanBeOverriddenAndHelpWordsHidden) {
    InstrumentDouble instrument({.reply_overrides = {{"version", "tinySA9_v0\r\n"}},
                                 .hidden_commands = {"scanraw", "threads"}});
    auto client = connect(instrument);
    EXPECT_EQ(client.command("version"), "version\r\ntinySA9_v0\r\nch> ");
    EXPECT_EQ(client.command("help"),
              "help\r\ncommands: help info zero sweep pause resume repeat mode scan marker "
              "leveloffset\r\nOther commands: version vbat usart_cfg\r\nch> ");
}

TEST(InstrumentDouble, SilentFaultNeverSendsAByte) {
    InstrumentDouble instrument({.fault = FaultKind::Silent});
    auto client = Client::tcp(instrument.listen_tcp());
    client.send("version\r");
    ASSERT_TRUE(instrument.wait_for_commands(1, 5s));
    EXPECT_EQ(client.read_for(50ms), "");
    EXPECT_EQ(instrument.received_commands(), std::vector<std::string>{"version"});
}

TEST(InstrumentDouble, CloseAfterBytesCountsTheBanner) {
    InstrumentDouble instrument({.fault = FaultKind::CloseAfterBytes, .fault_count = 30});
    const auto address = instrument.listen_tcp();
    for (int session = 0; session < 2; ++session) {
        auto client = Client::tcp(address);
        client.send("version\r");
        EXPECT_EQ(client.read_to_eof(), std::string(BANNER) + "version\r\nt");
    }
}

TEST(InstrumentDouble, TextBeforeTheFrameHasNoOpeningBrace) {
    for (const auto fault : {FaultKind::LongEcho, FaultKind::Garbage}) {
        SCOPED_TRACE(static_cast<int>(fault));
        InstrumentDouble instrument({.fault = fault, .fault_count = 700});
        auto client = connect(instrument);
        const std::string line = "scanraw 1000000 2000000 3";
        client.send(line + "\r");
        EXPECT_EQ(client.read_exactly(line.size() + 2), line + "\r\n");
        const auto filler = client.read_exactly(700);
        EXPECT_EQ(filler.find('{'), std::string::npos);
        EXPECT_EQ(client.read_until("ch> "), expected_frame(1'000'000, 2'000'000, 3, 174) + "ch> ");
    }
}

TEST(InstrumentDouble, FrameFaultsChangeOneByte) {
    const std::string line = "scanraw 1000000 2000000 4";
    const auto clean = expected_frame(1'000'000, 2'000'000, 4, 174);
    auto bad_alignment = clean;
    bad_alignment[1 + 3 * 2] = 'X';
    auto no_brace = clean;
    no_brace.back() = ']';
    struct Case {
        Options options;
        std::string frame;
    };
    const Case cases[] = {
        {{.fault = FaultKind::BadAlignment, .fault_count = 2}, bad_alignment},
        {{.fault = FaultKind::NoClosingBrace, .fault_byte = ']'}, no_brace},
        {{.byte_delay = 20us, .fault = FaultKind::Trickle}, clean},
        {{.point_delay = 50us}, clean},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.options.fault));
        InstrumentDouble instrument(c.options);
        auto client = connect(instrument);
        EXPECT_EQ(client.command(line), line + "\r\n" + c.frame + "ch> ");
    }
}

TEST(InstrumentDouble, NoPromptAfterTheFrameOrTheNamedCommand) {
    {
        InstrumentDouble instrument({.fault = FaultKind::NoPrompt});
        auto client = connect(instrument);
        client.send("scanraw 1000000 2000000 2\r");
        EXPECT_EQ(client.read_until("}"),
                  "scanraw 1000000 2000000 2\r\n" + expected_frame(1'000'000, 2'000'000, 2, 174));
        EXPECT_EQ(client.read_for(50ms), "");
        EXPECT_EQ(client.command("vbat"), "vbat\r\n4012 mV\r\nch> ");
    }
    {
        InstrumentDouble instrument({.fault = FaultKind::NoPrompt, .fault_command = "pause"});
        auto client = connect(instrument);
        client.send("pause\r");
        EXPECT_EQ(client.read_until("\r\n"), "pause\r\n");
        EXPECT_EQ(client.read_for(50ms), "");
    }
}

TEST(InstrumentDouble, NamedCommandGetsRejectedOrOversized) {
    struct Case {
        Options options;
        std::string_view line;
        std::string reply;
    };
    const Case cases[] = {
        {{.fault = FaultKind::Reject, .fault_command = "zero"}, "zero 174", "error: rejected\r\n"},
        {{.fault = FaultKind::Reject, .fault_command = "zero 174"},
         "zero",
         "usage: zero {level}\r\n174dBm\r\n"},
        {{.fault = FaultKind::Reject, .fault_command = "pause", .fault_line = "usage: pause"},
         "pause",
         "usage: pause\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        InstrumentDouble instrument(c.options);
        auto client = connect(instrument);
        EXPECT_EQ(client.command(c.line), std::string(c.line) + "\r\n" + c.reply + "ch> ");
    }

    InstrumentDouble instrument(
        {.fault = FaultKind::OversizedReply, .fault_count = 300, .fault_command = "version"});
    auto client = connect(instrument);
    const auto reply = client.command("version");
    EXPECT_EQ(reply.size(), std::string_view("version\r\n").size() + 300 + 4);
    EXPECT_EQ(reply.find("ch>"), reply.size() - 4);
}

TEST(InstrumentDouble, NamedCommandIsAnsweredLateAndTheNextInTurn) {
    InstrumentDouble instrument(
        {.reply_delay = 300ms, .fault = FaultKind::LateReply, .fault_command = "vbat"});
    auto client = connect(instrument);
    client.send("vbat\rinfo\r");
    EXPECT_EQ(client.read_until("\r\n"), "vbat\r\n");
    EXPECT_EQ(client.read_for(100ms), "");
    EXPECT_EQ(client.read_until("ch> "), "4012 mV\r\nch> ");
    EXPECT_TRUE(client.read_until("ch> ").starts_with("info\r\ntinySA ULTRA ZS405\r\n"));
}

TEST(InstrumentDouble, SurvivesAClientLeavingMidFrameAndStopsPromptly) {
    std::optional<Client> left_connected;
    {
        InstrumentDouble instrument({.point_delay = 20us});
        const auto address = instrument.listen_tcp();
        {
            auto client = Client::tcp(address);
            client.read_until("ch> ");
            client.send("scanraw 1000000 800000000 1000000\r");
            client.read_until("{");
        }
        auto next = Client::tcp(address);
        next.read_until("ch> ");
        EXPECT_EQ(next.command("vbat"), "vbat\r\n4012 mV\r\nch> ");
        // This client stays connected mid-frame while the double is destroyed.
        next.send("scanraw 1000000 800000000 1000000\r");
        next.read_until("{");
        left_connected.emplace(std::move(next));
    }
    left_connected->read_to_eof();
}

TEST(InstrumentDouble, ScanSendsOneLinePerPoint) {
    InstrumentDouble instrument;
    auto client = connect(instrument);
    const auto reply = client.command("scan 100000000 100000300 3 101");
    const auto level = [](std::uint64_t hz) {
        return fmt::format("{} {:.2f}\r\n", hz, InstrumentDouble::level_dbm(hz));
    };
    EXPECT_EQ(reply, "scan 100000000 100000300 3 101\r\n" + level(100'000'000) +
                         level(100'000'100) + level(100'000'200) + "ch> ");
}

TEST(InstrumentDouble, ServesAPseudoTerminal) {
    InstrumentDouble instrument({.model = Model::Basic});
    const auto path = instrument.open_pty();
    ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;
    {
        auto client = Client::pty(path);
        EXPECT_EQ(client.read_until("ch> "), BANNER);
        EXPECT_EQ(client.command("version"), "version\r\ntinySA_v1.4-240-gf5d5bed\r\nch> ");
    }
    // The session outlives a client: the next open continues it.
    auto client = Client::pty(path);
    const std::string line = "scanraw 300000000 400000000 50";
    EXPECT_EQ(client.command(line),
              line + "\r\n" + expected_frame(300'000'000, 400'000'000, 50, 128) + "ch> ");
}

TEST(InstrumentDouble, PtyCloseAfterBytesHangsUp) {
    InstrumentDouble instrument({.fault = FaultKind::CloseAfterBytes, .fault_count = 20});
    auto client = Client::pty(instrument.open_pty());
    EXPECT_EQ(client.read_to_eof(), BANNER);
}

TEST(InstrumentDouble, ListensOnAGivenAddress) {
    InstrumentDouble instrument;
    const auto address = instrument.listen_tcp("127.0.0.1:0");
    EXPECT_TRUE(address.starts_with("127.0.0.1:"));
    EXPECT_NE(address, "127.0.0.1:0");
    EXPECT_EQ(instrument.listen_tcp(), address);
    EXPECT_THROW(instrument.listen_tcp("127.0.0.1:0"), std::runtime_error);
    EXPECT_THROW(InstrumentDouble().listen_tcp("localhost:1"), std::runtime_error);
}

}  // namespace
