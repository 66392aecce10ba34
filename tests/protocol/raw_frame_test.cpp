#include "protocol/raw_frame.hpp"

#include <chrono>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "config/default_config.hpp"
#include "config/typed_reader.hpp"
#include "instrument_double.hpp"
#include "scripted_peer.hpp"
#include "transport/exchange.hpp"

namespace vireo {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::PeerEnd;
using test::TcpPeer;

const ScanRequest DEFAULT_REQUEST{240000000, 800000000, 10001, 1};

std::string make_frame(const std::vector<std::uint16_t>& levels) {
    std::string frame = "{";
    for (const std::uint16_t raw : levels) {
        frame += 'x';
        frame += static_cast<char>(raw & 0xFF);
        frame += static_cast<char>(raw >> 8);
    }
    frame += '}';
    return frame;
}

std::vector<std::uint8_t> bytes_of(std::string_view text) {
    return {text.begin(), text.end()};
}

ScanRequest request_of(std::uint64_t points) {
    return ScanRequest{240000000, 800000000, points, 1};
}

TEST(RawFrameLen, IsThreeBytesPerPointAndTheBraces) {
    EXPECT_EQ(raw_frame_len(request_of(2)), 8u);
    EXPECT_EQ(raw_frame_len(request_of(1000001)), 3000005u);

    const auto too_few = raw_frame_len(request_of(1));
    ASSERT_FALSE(too_few);
    EXPECT_EQ(display(too_few.error()),
              "invalid scan request: points must be 2..=1000001 and repeat 1..=1000");
    const auto reversed = raw_frame_len(ScanRequest{2, 1, 2, 1});
    ASSERT_FALSE(reversed);
    EXPECT_EQ(display(reversed.error()),
              "invalid scan request: start frequency must not exceed stop frequency");
}

TEST(ProtocolError, TextsAndDebugForms) {
    struct Case {
        ProtocolError error;
        std::string display;
        std::string debug;
    };
    const Case cases[] = {
        {ProtocolError::InvalidRequest{"zero offset must be 0..=2047"},
         "invalid scan request: zero offset must be 0..=2047",
         "InvalidRequest(\"zero offset must be 0..=2047\")"},
        {ProtocolError::MissingStart{}, "raw scan is missing its opening brace", "MissingStart"},
        {ProtocolError::Length{8, 7}, "raw frame has 7 bytes; expected 8",
         "Length { expected: 8, actual: 7 }"},
        {ProtocolError::Alignment{5, 0x58}, "sample 5 has alignment byte 0x58; expected 0x78",
         "Alignment { index: 5, found: 88 }"},
        {ProtocolError::Alignment{0, 0x0a}, "sample 0 has alignment byte 0x0a; expected 0x78",
         "Alignment { index: 0, found: 10 }"},
        {ProtocolError::MissingEnd{}, "raw scan is missing its closing brace", "MissingEnd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.display);
        EXPECT_EQ(display(c.error), c.display);
        EXPECT_EQ(debug(c.error), c.debug);
        EXPECT_FALSE(source(c.error));
    }
}

TEST(DecodeRawScan, ChecksTheFrameInOrder) {
    const ScanRequest request = request_of(10);
    const std::string good = make_frame(std::vector<std::uint16_t>(10, 4096));
    std::string bad_record = good;
    bad_record[1 + 3 * 5] = 'X';
    bad_record[1 + 3 * 7] = 'y';  // later records are not looked at
    std::string no_end = good;
    no_end.back() = ']';
    std::string no_start = good;
    no_start.front() = 'x';

    struct Case {
        std::string name;
        std::string frame;
        ScanRequest request;
        std::uint16_t zero_offset;
        std::string error;
    };
    const Case cases[] = {
        {"request first", "", request_of(1), 2048,
         "invalid scan request: points must be 2..=1000001 and repeat 1..=1000"},
        {"zero offset before the frame", "", request, 2048,
         "invalid scan request: zero offset must be 0..=2047"},
        {"empty", "", request, 2047, "raw scan is missing its opening brace"},
        {"no opening brace", no_start, request, 128, "raw scan is missing its opening brace"},
        {"one byte short", good.substr(0, good.size() - 1), request, 128,
         "raw frame has 31 bytes; expected 32"},
        {"one byte long", good + "}", request, 128, "raw frame has 33 bytes; expected 32"},
        {"no closing brace", no_end, request, 128, "raw scan is missing its closing brace"},
        {"bad alignment", bad_record, request, 128,
         "sample 5 has alignment byte 0x58; expected 0x78"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto samples =
            decode_raw_scan(bytes_of(c.frame), c.request, c.zero_offset, FrequencyAxis::Firmware);
        ASSERT_FALSE(samples);
        EXPECT_EQ(display(samples.error()), c.error);
    }
}

TEST(DecodeRawScan, LevelsAreRawOver32MinusTheZeroOffset) {
    const ScanRequest request = request_of(3);
    const auto frame = bytes_of(make_frame({0, 4096, 65535}));
    const auto with_128 = decode_raw_scan(frame, request, 128, FrequencyAxis::Firmware);
    ASSERT_TRUE(with_128) << display(with_128.error());
    ASSERT_EQ(with_128->size(), 3u);
    EXPECT_EQ((*with_128)[0].level_dbm, -128.0);
    EXPECT_EQ((*with_128)[1].level_dbm, 0.0);

    const auto with_0 = decode_raw_scan(frame, request, 0, FrequencyAxis::Firmware);
    ASSERT_TRUE(with_0);
    EXPECT_EQ((*with_0)[2].level_dbm, 2047.96875);
}

TEST(DecodeRawScan, FirmwareAxisUsesTheTruncatedStepInSinglePrecision) {
    const auto frame = bytes_of(make_frame(std::vector<std::uint16_t>(10001, 0)));
    const auto samples = decode_raw_scan(frame, DEFAULT_REQUEST, 128, FrequencyAxis::Firmware);
    ASSERT_TRUE(samples) << display(samples.error());
    ASSERT_EQ(samples->size(), 10001u);
    // The step is 560000000 / 10001 = 55994 Hz, remainder dropped.
    EXPECT_EQ((*samples)[0].frequency_mhz, 240.0);
    EXPECT_EQ((*samples)[1].frequency_mhz, 240.055994);
    EXPECT_EQ((*samples)[2].frequency_mhz, 240.111988);
    // 10000 * 55994 = 559940000 is not a float; the nearest one is 559939968, a multiple of
    // 64, as in the instrument's own arithmetic.
    EXPECT_EQ((*samples)[10000].frequency_mhz, 799.939968);
}

TEST(DecodeRawScan, InclusiveAxisSpansStartToStop) {
    const auto frame = bytes_of(make_frame(std::vector<std::uint16_t>(10001, 0)));
    const auto samples = decode_raw_scan(frame, DEFAULT_REQUEST, 128, FrequencyAxis::Inclusive);
    ASSERT_TRUE(samples) << display(samples.error());
    EXPECT_EQ((*samples)[0].frequency_mhz, 240.0);
    EXPECT_EQ((*samples)[1].frequency_mhz, (560000000.0 * 1.0 / 10000.0 + 240000000.0) / 1e6);
    EXPECT_EQ((*samples)[5000].frequency_mhz, 520.0);
    EXPECT_EQ((*samples)[10000].frequency_mhz, 800.0);
}

TEST(RawSampleDecoder, StopsAtABadRecordAndReportsIt) {
    const auto records = bytes_of("x\x01\x00X\x02\x00x\x03\x00"s);
    std::optional<ProtocolError> error;
    RawSampleDecoder decoder(records, request_of(3), 0, FrequencyAxis::Firmware, error);
    const auto first = decoder.decode_sample();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->level_dbm, 1.0 / 32);
    EXPECT_FALSE(error);
    EXPECT_FALSE(decoder.decode_sample());
    ASSERT_TRUE(error);
    EXPECT_EQ(display(*error), "sample 1 has alignment byte 0x58; expected 0x78");
    EXPECT_FALSE(decoder.decode_sample());
}

// The link to a scripted instrument over loopback TCP.
DeviceLink tcp_link(const TcpPeer& peer, std::uint64_t max_response_bytes = 65536,
                    std::uint64_t timeout_ms = 2000) {
    auto config = read_config_document(DEFAULT_CONFIG);
    EXPECT_TRUE(config);
    config->connection.backend = ConnectionBackend::Tcp;
    config->connection.tcp_address = peer.address();
    config->connection.tcp_timeout_ms = timeout_ms;
    config->serial.max_response_bytes = max_response_bytes;
    auto link = open_link(*config);
    if (!link) {
        ADD_FAILURE() << display(link.error());
        std::abort();
    }
    return std::move(*link);
}

// Answers the first command line with `reply`, then waits for the link to close; `seen` gets
// the command line.
test::Script answering(std::string reply, std::promise<std::string>* seen = nullptr) {
    return [reply = std::move(reply), seen](PeerEnd& end) {
        const std::string line = end.read_until('\r');
        if (seen != nullptr) {
            seen->set_value(line);
        }
        end.send(reply);
        end.read_to_end();
    };
}

using Reports = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

RawFrameProgress recording(Reports& reports) {
    return [&reports](std::uint64_t received, std::uint64_t total) {
        reports.emplace_back(received, total);
    };
}

std::string error_text(const std::expected<std::vector<std::uint8_t>, TransportError>& frame) {
    return frame ? "no error" : display(frame.error());
}

TEST(ReadRawFrame, SkipsTheEchoAndLeavesWhatFollowsThePrompt) {
    const ScanRequest request{1000, 2000, 2, 1};
    const std::string frame = make_frame({100, 200});
    std::promise<std::string> seen;
    TcpPeer peer(answering("scanraw 1000 2000 2\r\n" + frame + "\r\nch> resume\r\nch> ", &seen));
    DeviceLink link = tcp_link(peer);

    Reports reports;
    const auto read = read_raw_frame(link, request, recording(reports));
    ASSERT_TRUE(read) << display(read.error());
    EXPECT_EQ(*read, bytes_of(frame));
    EXPECT_EQ(reports, (Reports{{8, 8}}));
    EXPECT_EQ(seen.get_future().get(), "scanraw 1000 2000 2\r");
    EXPECT_EQ(read_until_prompt(link), " resume\r\n");
}

TEST(ReadRawFrame, ReportsProgressOncePerChunk) {
    const std::string frame = make_frame(std::vector<std::uint16_t>(10001, 0x1234));
    TcpPeer peer(answering(frame + "ch>"));
    DeviceLink link = tcp_link(peer);

    Reports reports;
    const auto read = read_raw_frame(link, DEFAULT_REQUEST, recording(reports));
    ASSERT_TRUE(read) << display(read.error());
    EXPECT_EQ(*read, bytes_of(frame));
    const std::uint64_t total = 3 * 10001 + 2;
    ASSERT_EQ(reports.size(), (total - 1 + 4095) / 4096);
    EXPECT_EQ(reports.front(), std::make_pair(std::uint64_t{4097}, total));
    EXPECT_EQ(reports.back(), std::make_pair(total, total));
}

TEST(ReadRawFrame, LooksForTheBraceOnlyWithinTheReplyLimit) {
    const std::string frame = make_frame({1, 2});
    TcpPeer within(answering(std::string(255, '.') + frame + "ch>"));
    DeviceLink within_link = tcp_link(within, 256);
    const auto found = read_raw_frame(within_link, request_of(2), nullptr);
    EXPECT_TRUE(found) << error_text(found);

    TcpPeer beyond(answering(std::string(256, '.') + frame + "ch>"));
    DeviceLink beyond_link = tcp_link(beyond, 256);
    const auto lost = read_raw_frame(beyond_link, request_of(2), nullptr);
    EXPECT_EQ(error_text(lost), "serial response exceeds 256 bytes");
}

TEST(ReadRawFrame, FailuresOfTheFrame) {
    const std::string frame = make_frame({1, 2});
    std::string no_end = frame;
    no_end.back() = 'x';
    struct Case {
        std::string name;
        std::string reply;
        bool close_after_reply;
        std::string error;
    };
    const Case cases[] = {
        {"no closing brace", no_end + "ch>", false, "raw scan is missing its closing brace"},
        {"no prompt", frame + "\r\n", false, "serial transport: Operation timed out"},
        {"closed mid-frame", frame.substr(0, 5), true,
         "serial transport: failed to fill whole buffer"},
        {"closed before the brace", "scanraw", true,
         "serial transport: failed to fill whole buffer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TcpPeer peer([&c](PeerEnd& end) {
            end.read_until('\r');
            end.send(c.reply);
            if (!c.close_after_reply) {
                end.read_to_end();
            }
        });
        DeviceLink link = tcp_link(peer, 65536, 100);
        EXPECT_EQ(error_text(read_raw_frame(link, request_of(2), nullptr)), c.error);
    }
}

TEST(ReadRawFrame, RefusesAnInvalidRequestBeforeSendingIt) {
    std::promise<std::string> seen;
    TcpPeer peer([&](PeerEnd& end) { seen.set_value(end.read_to_end()); });
    {
        DeviceLink link = tcp_link(peer);
        const auto read = read_raw_frame(link, request_of(0), nullptr);
        ASSERT_FALSE(read);
        ASSERT_TRUE(std::holds_alternative<TransportError::Protocol>(read.error().value()));
        EXPECT_EQ(display(read.error()),
                  "invalid scan request: points must be 2..=1000001 and repeat 1..=1000");
    }
    EXPECT_EQ(seen.get_future().get(), "");
}

// The whole frame path against the instrument double, over both back ends.
enum class Via { Tcp, Pty };

void PrintTo(Via via, std::ostream* out) {
    *out << (via == Via::Tcp ? "TCP" : "pseudo-terminal");
}

DeviceLink link_to(sim::InstrumentDouble& instrument, Via via, std::uint64_t timeout_ms = 2000,
                   std::uint64_t max_response_bytes = 65536) {
    auto config = read_config_document(DEFAULT_CONFIG);
    EXPECT_TRUE(config);
    config->serial.max_response_bytes = max_response_bytes;
    if (via == Via::Tcp) {
        config->connection.backend = ConnectionBackend::Tcp;
        config->connection.tcp_address = instrument.listen_tcp();
        config->connection.tcp_timeout_ms = timeout_ms;
    } else {
        config->connection.backend = ConnectionBackend::Serial;
        config->port = instrument.open_pty();
        config->serial.timeout_ms = timeout_ms;
    }
    auto link = open_link(*config);
    if (!link) {
        ADD_FAILURE() << display(link.error());
        std::abort();
    }
    return std::move(*link);
}

class FrameFromTheDouble : public ::testing::TestWithParam<Via> {};

TEST_P(FrameFromTheDouble, ReadsAndDecodesTheSweepOfEachModel) {
    struct Case {
        sim::Model model;
        std::uint16_t zero_offset;
    };
    for (const auto& c : {Case{sim::Model::Basic, 128}, Case{sim::Model::Ultra, 174}}) {
        SCOPED_TRACE(c.zero_offset);
        sim::InstrumentDouble instrument(
            sim::Options{.model = c.model, .point_delay = std::chrono::microseconds(1)});
        DeviceLink link = link_to(instrument, GetParam());
        ASSERT_TRUE(drain_prompt(link));

        Reports reports;
        const auto frame = read_raw_frame(link, DEFAULT_REQUEST, recording(reports));
        ASSERT_TRUE(frame) << display(frame.error());
        const std::uint64_t total = 3 * 10001 + 2;
        EXPECT_EQ(reports.back(), std::make_pair(total, total));

        const auto samples =
            decode_raw_scan(*frame, DEFAULT_REQUEST, c.zero_offset, FrequencyAxis::Firmware);
        ASSERT_TRUE(samples) << display(samples.error());
        ASSERT_EQ(samples->size(), 10001u);
        for (std::uint64_t i = 0; i < samples->size(); i += 997) {
            SCOPED_TRACE(i);
            const auto raw =
                sim::InstrumentDouble::raw_level(240000000, 800000000, 10001, i, c.zero_offset);
            EXPECT_EQ((*samples)[i].level_dbm, raw / 32.0 - c.zero_offset);
            const auto hz =
                sim::InstrumentDouble::point_frequency_hz(240000000, 800000000, 10001, i);
            EXPECT_EQ((*samples)[i].frequency_mhz, static_cast<double>(hz) / 1e6);
        }
        // The link is ready for the next command, whose reply starts with the prompt's blank.
        EXPECT_EQ(send_command(link, "resume", 0ms, 0ms), " resume\r\n");
    }
}

TEST_P(FrameFromTheDouble, ReportsEachMisbehaviour) {
    struct Case {
        std::string name;
        sim::Options options;
        std::string error;
    };
    const Case cases[] = {
        {"long echo within the limit",
         {.fault = sim::FaultKind::LongEcho, .fault_count = 200},
         "decoded"},
        {"garbage beyond the limit",
         {.fault = sim::FaultKind::Garbage, .fault_count = 300},
         "serial response exceeds 256 bytes"},
        {"bad alignment",
         {.fault = sim::FaultKind::BadAlignment, .fault_count = 5, .fault_byte = 'X'},
         "sample 5 has alignment byte 0x58; expected 0x78"},
        {"no closing brace",
         {.fault = sim::FaultKind::NoClosingBrace, .fault_byte = ']'},
         "raw scan is missing its closing brace"},
        {"no prompt", {.fault = sim::FaultKind::NoPrompt}, "serial transport: Operation timed out"},
        {"closed mid-frame",
         {.fault = sim::FaultKind::CloseAfterBytes, .fault_count = 500},
         "serial transport: failed to fill whole buffer"},
        {"silent", {.fault = sim::FaultKind::Silent}, "serial transport: Operation timed out"},
    };
    const ScanRequest request = request_of(301);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::InstrumentDouble instrument(c.options);
        DeviceLink link = link_to(instrument, GetParam(), 150, 256);
        ASSERT_TRUE(drain_prompt(link));
        const auto frame = read_raw_frame(link, request, nullptr);
        if (!frame) {
            EXPECT_EQ(display(frame.error()), c.error);
            continue;
        }
        const auto samples = decode_raw_scan(*frame, request, 174, FrequencyAxis::Firmware);
        EXPECT_EQ(samples ? std::string("decoded") : display(samples.error()), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Link, FrameFromTheDouble, ::testing::Values(Via::Tcp, Via::Pty),
                         [](const auto& info) { return info.param == Via::Tcp ? "Tcp" : "Pty"; });

}  // namespace
}  // namespace vireo
