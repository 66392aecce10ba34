#include "transport/exchange.hpp"

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "instrument_double.hpp"
#include "scripted_peer.hpp"
#include "test_config.hpp"
#include "transport/device_link.hpp"

namespace vireo {
namespace {

using namespace std::chrono_literals;
using test::PeerEnd;
using test::PtyPeer;
using test::TcpPeer;

DeviceLink tcp_link(const TcpPeer& peer, std::uint64_t max_response_bytes = 65536,
                    std::uint64_t timeout_ms = 2000) {
    Config config = test::default_config();
    config.connection.backend = ConnectionBackend::Tcp;
    config.connection.tcp_address = peer.address();
    config.connection.tcp_timeout_ms = timeout_ms;
    config.serial.max_response_bytes = max_response_bytes;
    auto link = open_link(config);
    if (!link) {
        ADD_FAILURE() << display(link.error());
        std::abort();
    }
    return std::move(*link);
}

// The reply text, or the error's text.
std::string text_of(const std::expected<std::string, TransportError>& result) {
    return result ? *result : "error: " + display(result.error());
}

// A peer that answers each command line with the next scripted reply, then waits for the
// link to close; the command lines it saw end up in `seen`.
test::Script answering(std::vector<std::string> replies,
                       std::promise<std::string>* seen = nullptr) {
    return [replies = std::move(replies), seen](PeerEnd& end) {
        std::string lines;
        for (const auto& reply : replies) {
            lines += end.read_until('\r');
            end.send(reply);
        }
        lines += end.read_to_end();
        if (seen != nullptr) {
            seen->set_value(lines);
        }
    };
}

TEST(WriteCommand, RefusesAnythingButOnePrintableAsciiLineBeforeWriting) {
    std::promise<std::string> seen;
    TcpPeer peer(answering({}, &seen));
    {
        DeviceLink link = tcp_link(peer);
        const std::string refused[] = {"",      "a\tb",          "sweep\n",
                                       "x\x7f", "zero \xc3\xa9", std::string("a\0b", 3)};
        for (const auto& command : refused) {
            SCOPED_TRACE(command);
            const auto written = write_command(link, command);
            ASSERT_FALSE(written);
            EXPECT_TRUE(
                std::holds_alternative<TransportError::InvalidCommand>(written.error().value()));
            EXPECT_EQ(display(written.error()),
                      "a shell command must be one nonempty printable ASCII line");
        }
        ASSERT_TRUE(write_command(link, " ~ sweep start 1"));
    }
    EXPECT_EQ(seen.get_future().get(), " ~ sweep start 1\r");
}

TEST(WriteCommand, SendsTheLineOverTheSerialPortToo) {
    std::promise<std::string> seen;
    PtyPeer peer([&](PeerEnd& end) {
        seen.set_value(end.read_until('\r'));
        end.send("version\r\ntinySA_v1.4\r\nch> ");
    });
    Config config = test::default_config();
    config.port = peer.path();
    config.serial.timeout_ms = 2000;
    auto link = open_link(config);
    ASSERT_TRUE(link) << display(link.error());
    EXPECT_EQ(text_of(exchange(*link, "version", 0ms, 0ms)), "version\r\ntinySA_v1.4\r\n");
    EXPECT_EQ(seen.get_future().get(), "version\r");
}

TEST(ReadUntilPrompt, StopsRightAfterThePromptWhereverItEnds) {
    std::promise<void> done;
    TcpPeer peer([&](PeerEnd& end) {
        // The prompt in three pieces, then one reply whose prompt sits mid-line.
        end.send_slowly("info\r\nch>", 20ms);
        end.send(" next ch> rest");
        done.set_value();
        end.read_to_end();
    });
    DeviceLink link = tcp_link(peer);
    EXPECT_EQ(text_of(read_until_prompt(link)), "info\r\n");
    // The prompt's trailing blank starts the next reply.
    EXPECT_EQ(text_of(read_until_prompt(link)), " next ");
    done.get_future().wait();
}

TEST(ReadUntilPrompt, AcceptsAPromptEndingExactlyAtTheLimit) {
    const std::string text(253, 'a');
    TcpPeer peer([&](PeerEnd& end) {
        end.send(text + "ch>");
        end.send(std::string(256, 'b'));
        end.read_to_end();
    });
    DeviceLink link = tcp_link(peer, 256);
    EXPECT_EQ(text_of(read_until_prompt(link)), text);

    const auto too_long = read_until_prompt(link);
    ASSERT_FALSE(too_long);
    const auto* limit = std::get_if<TransportError::ResponseTooLong>(&too_long.error().value());
    ASSERT_NE(limit, nullptr);
    EXPECT_EQ(limit->limit, 256u);
    EXPECT_EQ(display(too_long.error()), "serial response exceeds 256 bytes");
}

TEST(ReadUntilPrompt, ReportsTheLinkFailure) {
    TcpPeer peer([](PeerEnd& end) { end.send("partial reply"); });
    DeviceLink link = tcp_link(peer);
    const auto reply = read_until_prompt(link);
    ASSERT_FALSE(reply);
    EXPECT_EQ(display(reply.error()), "serial transport: failed to fill whole buffer");
}

TEST(Exchange, ReturnsTheReplyWithItsEchoAndReplacesInvalidUtf8) {
    TcpPeer peer(answering({"version\r\nch> ", "info\r\nbad \xff byte\r\nch> "}));
    DeviceLink link = tcp_link(peer);
    EXPECT_EQ(text_of(exchange(link, "version", 0ms, 0ms)), "version\r\n");
    EXPECT_EQ(text_of(exchange(link, "info", 1ms, 1ms)), " info\r\nbad \xef\xbf\xbd byte\r\n");
}

// The first delay lies between the write and the read: the command goes out before it, and a
// reply that never comes is waited for only after it. The second follows the prompt, so a
// failed read skips it.
TEST(Exchange, WaitsTheFirstDelayAfterTheWriteAndTheSecondAfterThePrompt) {
    using Clock = std::chrono::steady_clock;
    const auto first = 400ms;
    struct Case {
        const char* name;
        bool answers;
        std::chrono::milliseconds second;
        std::chrono::milliseconds at_least;
        std::chrono::milliseconds below;
    };
    const Case cases[] = {
        {"answered", true, 300ms, first + 300ms, 60s},
        // 100 ms is the link's read time-out.
        {"unanswered", false, 5000ms, first + 100ms, first + 5000ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::promise<Clock::time_point> received;
        TcpPeer peer([&](PeerEnd& end) {
            end.read_until('\r');
            received.set_value(Clock::now());
            if (c.answers) {
                end.send("version\r\nch>");
            }
            end.read_to_end();
        });
        DeviceLink link = tcp_link(peer, 65536, 100);
        const auto started = Clock::now();
        const auto reply = exchange(link, "version", first, c.second);
        const auto elapsed = Clock::now() - started;
        EXPECT_EQ(reply.has_value(), c.answers) << text_of(reply);
        EXPECT_LT(received.get_future().get() - started, first);
        EXPECT_GE(elapsed, c.at_least);
        EXPECT_LT(elapsed, c.below);
    }
}

TEST(SendCommand, FindsRejectionLinesAtTheStartOfAnyLine) {
    struct Case {
        std::string reply;
        bool rejected;
    };
    const Case cases[] = {
        {"zero 5\r\n", false},
        {"", false},
        {"zero 5\r\nerror: out of range\r\n", true},
        {"zero 5\r\n   ERROR: out of range\r\n", true},
        {"zero 5\r\n\tUsage: zero {level}\r\n", true},
        {"zero 5\r\nUnknown Command\r\n", true},
        {"zero 5\r\nunknown command", true},
        {"zero 5\r\n\xe3\x80\x80"
         "error: after an ideographic space\r\n",
         true},
        {"zero 5\r\nzero? error: in the middle\r\n", false},
        {"zero 5\r\nerror without colon\r\n", false},
        {"zero 5\r\nusage\r\n", false},
        {"zero 5\n\rerror:\n", true},
    };
    std::vector<std::string> replies;
    for (const auto& c : cases) {
        replies.push_back(c.reply + "ch>");
    }
    TcpPeer peer(answering(replies));
    DeviceLink link = tcp_link(peer);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        const auto reply = send_command(link, "zero 5", 0ms, 0ms);
        if (!c.rejected) {
            EXPECT_EQ(text_of(reply), c.reply);
            continue;
        }
        ASSERT_FALSE(reply);
        const auto* rejection =
            std::get_if<TransportError::CommandRejected>(&reply.error().value());
        ASSERT_NE(rejection, nullptr) << debug(reply.error());
        EXPECT_EQ(rejection->command, "zero 5");
        EXPECT_EQ(rejection->response, c.reply);
    }
}

TEST(SendCommand, RejectionTextQuotesTheCommandAndKeepsTheWholeReply) {
    TcpPeer peer(answering({"mode high input\r\nusage: mode [low] input|output\r\n\xfe\r\nch> "}));
    DeviceLink link = tcp_link(peer);
    const auto reply = send_command(link, "mode high input", 0ms, 0ms);
    ASSERT_FALSE(reply);
    EXPECT_EQ(display(reply.error()),
              "device rejected \"mode high input\": mode high input\r\nusage: mode [low] "
              "input|output\r\n\xef\xbf\xbd\r\n");
    EXPECT_EQ(debug(reply.error()),
              "CommandRejected { command: \"mode high input\", response: \"mode high "
              "input\\r\\nusage: mode [low] input|output\\r\\n\xef\xbf\xbd\\r\\n\" }");
}

TEST(DrainPrompt, ConsumesABannerAndToleratesSilence) {
    TcpPeer silent([](PeerEnd& end) { end.read_to_end(); });
    DeviceLink link = tcp_link(silent, 65536, 50);
    ASSERT_TRUE(drain_prompt(link));  // nothing comes within the read time-out

    TcpPeer talking([](PeerEnd& end) {
        end.send("\r\ntinySA Shell\r\nch> ");
        end.read_until('\r');
        end.send("version\r\nch> ");
        end.read_to_end();
    });
    DeviceLink banner_link = tcp_link(talking);
    ASSERT_TRUE(drain_prompt(banner_link));
    EXPECT_EQ(text_of(exchange(banner_link, "version", 0ms, 0ms)), " version\r\n");
}

TEST(DrainPrompt, FailsOnAClosedPeerAndAnOverlongBanner) {
    TcpPeer closed([](PeerEnd& end) { end.close(); });
    DeviceLink closed_link = tcp_link(closed);
    const auto eof = drain_prompt(closed_link);
    ASSERT_FALSE(eof);
    EXPECT_EQ(display(eof.error()), "serial transport: failed to fill whole buffer");

    TcpPeer chatty([](PeerEnd& end) {
        end.send(std::string(300, '.'));
        end.read_to_end();
    });
    DeviceLink chatty_link = tcp_link(chatty, 256);
    const auto too_long = drain_prompt(chatty_link);
    ASSERT_FALSE(too_long);
    EXPECT_EQ(display(too_long.error()), "serial response exceeds 256 bytes");
}

// After a reply that broke off: the rest goes up to its prompt, what follows stays; a quiet
// instrument or one that never stops talking keeps the caller no longer than the limit.
TEST(DiscardPending, DropsUpToThePromptOrUntilQuietWithinTheLimit) {
    std::atomic<bool> discarded{false};
    std::atomic<bool> talked_out{false};
    // Each leftover says when its first bytes are out, so the discard never starts before them
    // however late the peer's thread runs.
    using Begun = std::function<void()>;
    struct Case {
        const char* name;
        std::function<void(PeerEnd&, const Begun&)> leftover;
        std::string next_reply;
    };
    const Case cases[] = {
        {"rest of a reply, prompt, more",
         [](PeerEnd& end, const Begun& begun) {
             end.send("\x01\x02}\r\nch> next");
             begun();
         },
         " next"},
        {"prompt in pieces",
         [](PeerEnd& end, const Begun& begun) {
             end.send("t");
             begun();
             end.send_slowly("ail ch>", 5ms);
         },
         ""},
        {"nothing pending", [](PeerEnd&, const Begun& begun) { begun(); }, ""},
        {"talks on past the limit",
         [&](PeerEnd& end, const Begun& begun) {
             end.send("noise ");
             begun();
             // Until the discard gives up, or far longer than its limit.
             const auto stop = std::chrono::steady_clock::now() + 10s;
             while (!discarded) {
                 if (std::chrono::steady_clock::now() > stop) {
                     talked_out = true;
                     break;
                 }
                 std::this_thread::sleep_for(20ms);
                 end.send("noise ");
             }
         },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        discarded = false;
        std::promise<void> begun;
        TcpPeer peer([&](PeerEnd& end) {
            c.leftover(end, [&] { begun.set_value(); });
            end.read_until('\r');
            end.send("answer\r\nch>");
            end.read_to_end();
        });
        DeviceLink link = tcp_link(peer);
        begun.get_future().wait();
        discard_pending(link, 300ms);
        discarded = true;
        const auto reply = exchange(link, "resume", 0ms, 0ms);
        EXPECT_TRUE(text_of(reply).starts_with(c.next_reply)) << text_of(reply);
        EXPECT_TRUE(text_of(reply).ends_with("answer\r\n")) << text_of(reply);
    }
    EXPECT_FALSE(talked_out);
}

TEST(Exchange, AClosedPeerFailsTheWriteWithAnErrorValue) {
    TcpPeer peer([](PeerEnd& end) { end.close(); });
    DeviceLink link = tcp_link(peer);
    ASSERT_FALSE(drain_prompt(link));  // the close has arrived

    std::expected<std::string, TransportError> reply;
    for (int attempt = 0; attempt < 100; ++attempt) {
        reply = exchange(link, "version", 0ms, 0ms);
        ASSERT_FALSE(reply);
        if (display(reply.error()).find("os error") != std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    const auto* io = std::get_if<TransportError::Io>(&reply.error().value());
    ASSERT_NE(io, nullptr);
    EXPECT_TRUE(io->error.kind() == IoErrorKind::BrokenPipe ||
                io->error.kind() == IoErrorKind::ConnectionReset)
        << debug(reply.error());
}

// The same operations against the instrument double, over both back ends.
enum class Via { Tcp, Pty };

void PrintTo(Via via, std::ostream* out) {
    *out << (via == Via::Tcp ? "TCP" : "pseudo-terminal");
}

DeviceLink link_to(sim::InstrumentDouble& instrument, Via via, std::uint64_t timeout_ms = 2000,
                   std::uint64_t max_response_bytes = 65536) {
    Config config = test::default_config();
    config.serial.max_response_bytes = max_response_bytes;
    if (via == Via::Tcp) {
        config.connection.backend = ConnectionBackend::Tcp;
        config.connection.tcp_address = instrument.listen_tcp();
        config.connection.tcp_timeout_ms = timeout_ms;
    } else {
        config.connection.backend = ConnectionBackend::Serial;
        config.port = instrument.open_pty();
        config.serial.timeout_ms = timeout_ms;
    }
    auto link = open_link(config);
    if (!link) {
        ADD_FAILURE() << display(link.error());
        std::abort();
    }
    return std::move(*link);
}

class AgainstTheDouble : public ::testing::TestWithParam<Via> {};

TEST_P(AgainstTheDouble, RunsTheCommandsOfARun) {
    sim::InstrumentDouble instrument(sim::Options{.model = sim::Model::Ultra});
    DeviceLink link = link_to(instrument, GetParam());
    ASSERT_TRUE(drain_prompt(link));
    EXPECT_EQ(text_of(exchange(link, "version", 0ms, 0ms)),
              " version\r\ntinySA4_v1.4-240-gf5d5bed\r\nHW Version:V0.4.5.1 \r\n");
    EXPECT_EQ(text_of(send_command(link, "pause", 0ms, 0ms)), " pause\r\n");
    const auto rejected = send_command(link, "mode high input", 0ms, 0ms);
    EXPECT_EQ(text_of(rejected),
              "error: device rejected \"mode high input\":  mode high input\r\nusage: mode [low] "
              "input|output\r\n");
    EXPECT_EQ(instrument.received_commands(),
              (std::vector<std::string>{"version", "pause", "mode high input"}));
}

TEST_P(AgainstTheDouble, SurvivesATricklingInstrument) {
    sim::InstrumentDouble instrument(sim::Options{.byte_delay = std::chrono::microseconds(300),
                                                  .fault = sim::FaultKind::Trickle});
    DeviceLink link = link_to(instrument, GetParam(), 500);
    ASSERT_TRUE(drain_prompt(link));
    EXPECT_EQ(text_of(send_command(link, "version", 0ms, 0ms)),
              " version\r\ntinySA4_v1.4-240-gf5d5bed\r\nHW Version:V0.4.5.1 \r\n");
}

TEST_P(AgainstTheDouble, ReportsEachMisbehaviour) {
    struct Case {
        std::string name;
        sim::Options options;
        std::string error;
    };
    const Case cases[] = {
        {"silent", {.fault = sim::FaultKind::Silent}, "serial transport: Operation timed out"},
        {"closes",
         {.fault = sim::FaultKind::CloseAfterBytes, .fault_count = 25},
         "serial transport: failed to fill whole buffer"},
        {"no prompt",
         {.fault = sim::FaultKind::NoPrompt, .fault_command = "version"},
         "serial transport: Operation timed out"},
        {"oversized",
         {.fault = sim::FaultKind::OversizedReply, .fault_count = 300, .fault_command = "version"},
         "serial response exceeds 256 bytes"},
        {"rejected",
         {.fault = sim::FaultKind::Reject, .fault_command = "version", .fault_line = "Usage: no"},
         "device rejected \"version\":  version\r\nUsage: no\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::InstrumentDouble instrument(c.options);
        DeviceLink link = link_to(instrument, GetParam(), 150, 256);
        // A silent instrument is no failure here; the next exchange meets it.
        ASSERT_TRUE(drain_prompt(link));
        EXPECT_EQ(text_of(send_command(link, "version", 0ms, 0ms)), "error: " + c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Link, AgainstTheDouble, ::testing::Values(Via::Tcp, Via::Pty),
                         [](const auto& info) { return info.param == Via::Tcp ? "Tcp" : "Pty"; });

}  // namespace
}  // namespace vireo
