#include "transport/transport_error.hpp"

#include <gtest/gtest.h>

#include "transport/connection_error.hpp"

namespace vireo {
namespace {

IoError timed_out() {
    return IoError::with_message(IoErrorKind::TimedOut, "Operation timed out");
}

TEST(TransportError, TextsAndDebugForms) {
    struct Case {
        TransportError error;
        std::string display;
        std::string debug;
    };
    const Case cases[] = {
        {TransportError::Io{timed_out()}, "serial transport: Operation timed out",
         "Io(Custom { kind: TimedOut, error: \"Operation timed out\" })"},
        {TransportError::ResponseTooLong{65536}, "serial response exceeds 65536 bytes",
         "ResponseTooLong(65536)"},
        {TransportError::InvalidCommand{},
         "a shell command must be one nonempty printable ASCII line", "InvalidCommand"},
        {TransportError::CommandRejected{"say \"a\\b\"", "error: no\r\n"},
         "device rejected \"say \\\"a\\\\b\\\"\": error: no\r\n",
         "CommandRejected { command: \"say \\\"a\\\\b\\\"\", response: \"error: no\\r\\n\" }"},
        {TransportError::Protocol{ProtocolError::MissingEnd{}},
         "raw scan is missing its closing brace", "Protocol(MissingEnd)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.display);
        EXPECT_EQ(display(c.error), c.display);
        EXPECT_EQ(debug(c.error), c.debug);
    }
}

TEST(TransportError, OnlyAnIoFailureHasACause) {
    const TransportError io = TransportError::Io{timed_out()};
    const auto cause = source(io);
    ASSERT_TRUE(cause);
    EXPECT_EQ(cause->display(), "Operation timed out");

    EXPECT_FALSE(source(TransportError::CommandRejected{"pause", "error:"}));
    EXPECT_FALSE(source(TransportError::ResponseTooLong{256}));
    // The frame error's text already stands for this error; the chain does not repeat it.
    EXPECT_FALSE(source(TransportError::Protocol{ProtocolError::MissingStart{}}));
}

TEST(ConnectionError, TextsDebugFormsAndCauses) {
    const ConnectionError tcp = ConnectionError::Tcp{timed_out()};
    EXPECT_EQ(display(tcp), "TCP connection: Operation timed out");
    EXPECT_EQ(debug(tcp), "Tcp(Custom { kind: TimedOut, error: \"Operation timed out\" })");
    ASSERT_TRUE(source(tcp));
    EXPECT_EQ(source(tcp)->display(), "Operation timed out");

    const ConnectionError serial = ConnectionError::Serial{SerialError::from_os(ENOENT)};
    EXPECT_EQ(display(serial), "serial connection: No such file or directory");
    EXPECT_EQ(debug(serial),
              "Serial(Error { kind: Io(NotFound), description: \"No such file or directory\" })");

    const ConnectionError config =
        ConnectionError::Config{ConfigError::Validation{"baudrate must be in serial.baudrates"}};
    EXPECT_EQ(display(config),
              display(ConfigError::Validation{"baudrate must be in serial.baudrates"}));
    EXPECT_FALSE(source(config));

    const ConnectionError disabled = ConnectionError::SerialFeatureDisabled{};
    EXPECT_EQ(debug(disabled), "SerialFeatureDisabled");
    EXPECT_NE(display(disabled).find("USB/serial"), std::string::npos);
}

}  // namespace
}  // namespace vireo
