#include "logging/file_logger.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <regex>

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "log_test_support.hpp"

namespace vireo::logging {
namespace {

using log::Level;
using namespace testing_support;

class FileLoggerTest : public LogDirTest {
  protected:
    std::shared_ptr<FileLogger> start(std::string_view spec_text, Clock clock = fixed_now) {
        auto spec = parse_log_spec(spec_text);
        EXPECT_TRUE(spec);
        auto logger = FileLogger::start(*spec, dir_ / "logs", "prog", std::move(clock));
        EXPECT_TRUE(logger) << (logger ? "" : display(logger.error()));
        return logger ? *logger : nullptr;
    }
    fs::path fixed_file() const { return dir_ / "logs" / fmt::format("prog_{}.log", FIXED_STAMP); }
};

TEST_F(FileLoggerTest, CreatesTheDirectoryButNoFileUntilARecordPasses) {
    auto logger = start("info,vireo::scan=warn/keep");
    ASSERT_TRUE(logger);
    EXPECT_TRUE(fs::is_directory(dir_ / "logs"));
    logger->write({Level::Debug, "vireo::acquisition", "keep: too detailed"});
    logger->write({Level::Info, "vireo::scan", "keep: below the module's level"});
    logger->write({Level::Error, "vireo::scan", "no match"});
    logger->flush();
    logger->shutdown();
    EXPECT_TRUE(files_in(dir_ / "logs").empty());
}

TEST_F(FileLoggerTest, WritesOneLinePerRecordWithTheUpperCaseLevelAndTarget) {
    auto logger = start("trace");
    ASSERT_TRUE(logger);
    logger->write({Level::Error, "vireo::scan", "TCP connection: timed out"});
    logger->write({Level::Warn, "vireo", "w"});
    logger->write({Level::Info, "a::b", "i"});
    logger->write({Level::Debug, "vireo::acquisition", "vbat: 4120 mV"});
    logger->write({Level::Trace, "t", ""});
    logger->shutdown();
    EXPECT_EQ(files_in(dir_ / "logs"), std::vector<fs::path>{fixed_file().filename()});
    EXPECT_EQ(read_file(fixed_file()),
              "ERROR [vireo::scan] TCP connection: timed out\n"
              "WARN [vireo] w\n"
              "INFO [a::b] i\n"
              "DEBUG [vireo::acquisition] vbat: 4120 mV\n"
              "TRACE [t] \n");
}

TEST_F(FileLoggerTest, NamesTheFileAfterTheLocalTimeOfTheFirstRecord) {
    auto logger = start("info", {});
    ASSERT_TRUE(logger);
    const auto stamp = [] {
        const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        return fmt::format("{:%Y-%m-%d_%H-%M-%S}", fmt::localtime(now));
    };
    const std::string before = stamp();
    logger->write({Level::Error, "vireo::scan", "x"});
    const std::string after = stamp();
    logger->shutdown();
    const auto files = files_in(dir_ / "logs");
    ASSERT_EQ(files.size(), 1u);
    const std::string name = files[0].string();
    std::smatch match;
    ASSERT_TRUE(
        std::regex_match(name, match, std::regex(R"(prog_(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d)\.log)")))
        << name;
    // The format sorts like time, so the stamp lies between the two readings.
    EXPECT_LE(before, match[1].str());
    EXPECT_GE(after, match[1].str());
}

TEST_F(FileLoggerTest, AppendsToAFileOfTheSameName) {
    fs::create_directories(dir_ / "logs");
    std::ofstream(fixed_file()) << "ERROR [vireo::scan] earlier run\n";
    for (std::string_view message : {"second run", "third run"}) {
        auto logger = start("info");
        ASSERT_TRUE(logger);
        logger->write({Level::Error, "vireo::scan", message});
        logger->shutdown();
    }
    EXPECT_EQ(read_file(fixed_file()),
              "ERROR [vireo::scan] earlier run\n"
              "ERROR [vireo::scan] second run\n"
              "ERROR [vireo::scan] third run\n");
}

TEST_F(FileLoggerTest, TheFlusherWritesBufferedRecordsOut) {
    const auto started = std::chrono::steady_clock::now();
    auto logger = start("info");
    ASSERT_TRUE(logger);
    logger->write({Level::Error, "vireo::scan", "buffered"});
    // Opened at the record, but nothing written until the flusher's first turn a second later.
    ASSERT_TRUE(fs::exists(fixed_file()));
    if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(500)) {
        EXPECT_EQ(fs::file_size(fixed_file()), 0u);
    }
    EXPECT_EQ(wait_for_content(fixed_file(), "ERROR [vireo::scan] buffered\n"),
              "ERROR [vireo::scan] buffered\n");
}

TEST_F(FileLoggerTest, AFullBufferGoesOutWithoutWaitingForTheFlusher) {
    const auto started = std::chrono::steady_clock::now();
    auto logger = start("info");
    ASSERT_TRUE(logger);
    const std::string message(1000, 'x');
    const std::uintmax_t line = message.size() + 21;
    for (int i = 0; i < 8; ++i) {
        logger->write({Level::Error, "vireo::scan", message});
    }
    // The flusher's first turn comes a second after the start; before it, only a full buffer
    // reaches the file.
    const auto before_flusher = [&] {
        return std::chrono::steady_clock::now() - started < std::chrono::milliseconds(500);
    };
    if (before_flusher()) {
        EXPECT_EQ(fs::file_size(fixed_file()), 0u);
    }
    logger->write({Level::Error, "vireo::scan", message});
    if (before_flusher()) {
        EXPECT_EQ(fs::file_size(fixed_file()), 8 * line);
    }
    logger->shutdown();
    EXPECT_EQ(fs::file_size(fixed_file()), 9 * line);
}

TEST_F(FileLoggerTest, RecordsAfterShutdownAreDropped) {
    auto logger = start("info");
    ASSERT_TRUE(logger);
    logger->write({Level::Error, "vireo::scan", "kept"});
    logger->shutdown();
    logger->write({Level::Error, "vireo::scan", "dropped"});
    logger->flush();
    logger->shutdown();
    EXPECT_EQ(read_file(fixed_file()), "ERROR [vireo::scan] kept\n");
}

TEST_F(FileLoggerTest, AnUnwritableLogLosesTheRecordButGoesOn) {
    auto logger = start("info");
    ASSERT_TRUE(logger);
    fs::remove_all(dir_ / "logs");
    logger->write({Level::Error, "vireo::scan", "lost"});
    logger->flush();
    EXPECT_FALSE(fs::exists(dir_ / "logs"));
    // Once the directory is back, the next record opens the file.
    fs::create_directories(dir_ / "logs");
    logger->write({Level::Error, "vireo::scan", "kept"});
    logger->shutdown();
    EXPECT_EQ(read_file(fixed_file()), "ERROR [vireo::scan] kept\n");
}

class FileLoggerDeathTest : public FileLoggerTest {
  protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        FileLoggerTest::SetUp();
    }
};

// Once the full-screen interface is up, nothing else may write to the terminal: a log that
// cannot be opened or written is dropped without a word on standard error. In a child, so the
// file-size limit that makes a write fail stays there.
TEST_F(FileLoggerDeathTest, AFailingLogSaysNothingOnStandardError) {
    const rlimit limit{0, 0};
    EXPECT_EXIT(
        {
            auto logger = start("info");
            fs::remove_all(dir_ / "logs");
            logger->write({Level::Error, "vireo::scan", "cannot be opened"});
            logger->flush();
            fs::create_directories(dir_ / "logs");
            std::signal(SIGXFSZ, SIG_IGN);
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                ::_exit(3);
            }
            logger->write({Level::Error, "vireo::scan", "longer than the file may grow"});
            logger->flush();
            logger->write({Level::Error, "vireo::scan", "written out on shutdown"});
            logger->shutdown();
            ::_exit(fs::file_size(fixed_file()) == 0 ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), ::testing::IsEmpty());
}

TEST_F(FileLoggerTest, RejectsAPathThatIsNotADirectory) {
    std::ofstream(dir_ / "plain") << "";
    auto spec = parse_log_spec("info");
    ASSERT_TRUE(spec);
    struct Case {
        fs::path directory;
        std::string debug;
    };
    const Case cases[] = {
        {dir_ / "plain", "BadDirectory"},
        {dir_ / "plain" / "sub",
         "Output(Os { code: 20, kind: NotADirectory, message: \"Not a directory\" })"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        const auto logger = FileLogger::start(*spec, c.directory, "prog");
        ASSERT_FALSE(logger);
        EXPECT_EQ(debug(logger.error()), c.debug);
    }
}

}  // namespace
}  // namespace vireo::logging
