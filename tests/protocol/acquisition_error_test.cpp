#include "protocol/acquisition_error.hpp"

#include <gtest/gtest.h>

namespace vireo {
namespace {

TransportError timed_out() {
    return TransportError::Io{IoError::from_kind(IoErrorKind::TimedOut)};
}

TransportError rejected(std::string command, std::string response) {
    return TransportError::CommandRejected{std::move(command), std::move(response)};
}

ProtocolError invalid_request(std::string message) {
    return ProtocolError::InvalidRequest{std::move(message)};
}

TEST(AcquisitionError, DisplayAndDebug) {
    struct Case {
        AcquisitionError error;
        std::string_view display;
        std::string_view debug;
    };
    const Case cases[] = {
        {AcquisitionError::Transport{timed_out()}, "serial transport: timed out",
         "Transport(Io(Kind(TimedOut)))"},
        {AcquisitionError::Transport{rejected("zero 128", "zero 128\r\nerror: rejected\r\n")},
         "device rejected \"zero 128\": zero 128\r\nerror: rejected\r\n",
         "Transport(CommandRejected { command: \"zero 128\", response: \"zero "
         "128\\r\\nerror: rejected\\r\\n\" })"},
        {AcquisitionError::Protocol{
             invalid_request("tinySA Basic frequencies must be within 0\u2013960 MHz")},
         "invalid scan request: tinySA Basic frequencies must be within 0\u2013960 MHz",
         "Protocol(InvalidRequest(\"tinySA Basic frequencies must be within 0\u2013960 MHz\"))"},
        {AcquisitionError::MissingIdentity{},
         "the instrument returned an empty version or info reply", "MissingIdentity"},
        {AcquisitionError::Device{IdentityError::Unknown},
         "unsupported device identity; expected tinySA_v\u2026 or tinySA4_v\u2026 in "
         "version/info",
         "Device(Unknown)"},
        {AcquisitionError::Device{IdentityError::Conflicting},
         "conflicting device identity: replies identify both tinySA Basic and Ultra",
         "Device(Conflicting)"},
        {AcquisitionError::UnexpectedModel{InstrumentModel::Ultra, InstrumentModel::Basic},
         "configured model tinySA Ultra family does not match detected tinySA Basic",
         "UnexpectedModel { expected: Ultra, actual: Basic }"},
        {AcquisitionError::MissingCommand{InstrumentModel::Ultra, "scanraw"},
         "tinySA Ultra family firmware does not advertise required command \"scanraw\"",
         "MissingCommand { model: Ultra, command: \"scanraw\" }"},
        {AcquisitionError::MissingZeroReadback{174},
         "could not confirm the raw-level offset after configuring zero 174",
         "MissingZeroReadback { requested: 174 }"},
        {AcquisitionError::ZeroReadbackMismatch{128, 0},
         "raw-level offset readback is 0 dB after requesting 128 dB",
         "ZeroReadbackMismatch { requested: 128, actual: 0 }"},
        {AcquisitionError::Recovery{
             AcquisitionError::Protocol{ProtocolError::MissingEnd{}},
             timed_out(),
         },
         "raw scan is missing its closing brace; additionally, resume failed: serial transport: "
         "timed out",
         "Recovery { primary: Protocol(MissingEnd), recovery: Io(Kind(TimedOut)) }"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.debug);
        EXPECT_EQ(display(c.error), c.display);
        EXPECT_EQ(debug(c.error), c.debug);
    }
}

TEST(AcquisitionError, ModelAndIdentityForms) {
    EXPECT_EQ(display(InstrumentModel::Basic), "tinySA Basic");
    EXPECT_EQ(display(InstrumentModel::Ultra), "tinySA Ultra family");
    EXPECT_EQ(debug(InstrumentModel::Basic), "Basic");
    EXPECT_EQ(debug(InstrumentModel::Ultra), "Ultra");
    // The ellipsis is one character, not three full stops.
    EXPECT_NE(display(IdentityError::Unknown).find("tinySA_v\xe2\x80\xa6 or"), std::string::npos);
}

TEST(AcquisitionError, SourceChain) {
    // A rejected command ends the chain at once; a time-out continues with the I/O error.
    EXPECT_FALSE(source(AcquisitionError(AcquisitionError::Transport{rejected("pause", "")})));
    EXPECT_FALSE(source(AcquisitionError(
        AcquisitionError::Transport{TransportError::Protocol{ProtocolError::MissingStart{}}})));
    EXPECT_FALSE(source(AcquisitionError(AcquisitionError::Protocol{invalid_request("x")})));
    EXPECT_FALSE(source(AcquisitionError(AcquisitionError::Device{IdentityError::Unknown})));
    EXPECT_FALSE(source(AcquisitionError(AcquisitionError::MissingZeroReadback{128})));

    const AcquisitionError timeout = AcquisitionError::Transport{timed_out()};
    const auto io = source(timeout);
    ASSERT_TRUE(io);
    EXPECT_EQ(io->debug(), "Kind(TimedOut)");
    EXPECT_FALSE(io->source());

    // Recovery continues with its primary, never with the resume's error.
    const AcquisitionError recovery =
        AcquisitionError::Recovery{timeout, rejected("resume", "error: busy\r\n")};
    const auto primary = source(recovery);
    ASSERT_TRUE(primary);
    EXPECT_EQ(primary->display(), "serial transport: timed out");
    const auto inner = primary->source();
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->display(), "timed out");
}

TEST(AcquisitionError, RecoveryCopiesOwnTheirPrimary) {
    std::optional<AcquisitionError> original = AcquisitionError(AcquisitionError::Recovery{
        AcquisitionError::Recovery{AcquisitionError::MissingIdentity{}, timed_out()},
        rejected("resume", "usage: resume\r\n")});
    const AcquisitionError copy = *original;
    AcquisitionError assigned = AcquisitionError::MissingIdentity{};
    assigned = *original;
    const std::string text = display(*original);
    original.reset();
    EXPECT_EQ(display(copy), text);
    EXPECT_EQ(display(assigned), text);
    EXPECT_EQ(display(copy),
              "the instrument returned an empty version or info reply; additionally, resume "
              "failed: serial transport: timed out; additionally, resume failed: device rejected "
              "\"resume\": usage: resume\r\n");

    AcquisitionError moved = std::move(assigned);
    EXPECT_EQ(display(moved), text);
}

}  // namespace
}  // namespace vireo
