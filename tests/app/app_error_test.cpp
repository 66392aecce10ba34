#include "app/app_error.hpp"

#include <cerrno>

#include <gtest/gtest.h>

namespace vireo {
namespace {

std::string source_text(const AppError& error) {
    const auto cause = source(error);
    return cause ? cause->display() : "(none)";
}

TEST(AppError, TextsDebugFormsAndSources) {
    struct Case {
        AppError error;
        std::string text;
        std::string debug;
        std::string source;
    };
    const Case cases[] = {
        {AppError::Config{ConfigError::Validation{"baudrate must be in serial.baudrates"}},
         "invalid configuration: baudrate must be in serial.baudrates",
         "Config(Validation(\"baudrate must be in serial.baudrates\"))", "(none)"},
        {AppError::Config{ConfigError::Io{IoError::from_os(EISDIR)}},
         "configuration I/O: Is a directory (os error 21)",
         "Config(Io(Os { code: 21, kind: IsADirectory, message: \"Is a directory\" }))",
         "Is a directory (os error 21)"},
        {AppError::Port{SerialError{SerialError::Kind::Unknown, IoErrorKind::Other,
                                    "Unable to determine number of Ports GUIDs"}},
         "serial connection: Unable to determine number of Ports GUIDs",
         "Port(Error { kind: Unknown, description: \"Unable to determine number of Ports GUIDs\" "
         "})",
         "Unable to determine number of Ports GUIDs"},
        {AppError::Connection{ConnectionError::Tcp{
             IoError::with_message(IoErrorKind::TimedOut, "connection timed out")}},
         "TCP connection: connection timed out",
         "Connection(Tcp(Custom { kind: TimedOut, error: \"connection timed out\" }))",
         "connection timed out"},
        {AppError::Connection{ConnectionError::Serial{SerialError::from_os(ENOENT)}},
         "serial connection: No such file or directory",
         "Connection(Serial(Error { kind: Io(NotFound), description: \"No such file or "
         "directory\" }))",
         "No such file or directory"},
        {AppError::Connection{
             ConnectionError::Config{ConfigError::Validation{"logging.filter must not be empty"}}},
         "invalid configuration: logging.filter must not be empty",
         "Connection(Config(Validation(\"logging.filter must not be empty\")))", "(none)"},
        {AppError::Io{IoError::with_message(IoErrorKind::AlreadyExists,
                                            "could not allocate a unique scan filename")},
         "I/O: could not allocate a unique scan filename",
         "Io(Custom { kind: AlreadyExists, error: \"could not allocate a unique scan filename\" "
         "})",
         "could not allocate a unique scan filename"},
        {AppError::Acquisition{AcquisitionError::Protocol{
             ProtocolError::InvalidRequest{"start frequency must not exceed stop frequency"}}},
         "invalid scan request: start frequency must not exceed stop frequency",
         "Acquisition(Protocol(InvalidRequest(\"start frequency must not exceed stop "
         "frequency\")))",
         "(none)"},
        {AppError::Acquisition{AcquisitionError::Transport{TransportError::Io{
             IoError::with_message(IoErrorKind::TimedOut, "Operation timed out")}}},
         "serial transport: Operation timed out",
         "Acquisition(Transport(Io(Custom { kind: TimedOut, error: \"Operation timed out\" })))",
         "Operation timed out"},
        {AppError::Logger{logging::LoggerError::BadDirectory{}},
         "logging: Log file cannot be written because the specified path is not a directory",
         "Logger(BadDirectory)",
         "Log file cannot be written because the specified path is not a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(display(c.error), c.text);
        EXPECT_EQ(debug(c.error), c.debug);
        EXPECT_EQ(source_text(c.error), c.source);
    }
}

TEST(AppError, TerminalShowsOnlyTheOutermostMessage) {
    const AppError error =
        AppError::Terminal{ErrorReport(AppError(AppError::Io{IoError::from_os(ENOTTY)}))};
    EXPECT_EQ(display(error), "terminal: I/O: Inappropriate ioctl for device (os error 25)");
    const std::string text = debug(error);
    EXPECT_TRUE(text.starts_with("Terminal(Io(Os { code: 25, kind: Uncategorized"));
    EXPECT_NE(text.find("Location: "), std::string::npos);
    EXPECT_NE(text.find("app_error_test.cpp"), std::string::npos);
    // The report's own source is the wrapped error, whose text the chain continues with.
    ASSERT_TRUE(source(error).has_value());
    EXPECT_EQ(source(error)->display(), "I/O: Inappropriate ioctl for device (os error 25)");
}

}  // namespace
}  // namespace vireo
