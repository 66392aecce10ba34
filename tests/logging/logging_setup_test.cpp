#include "logging/logging_setup.hpp"

#include <cstdlib>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "log_test_support.hpp"

namespace vireo::logging {
namespace {

using log::Level;
using namespace testing_support;

// Each test starts with no logger installed and leaves none behind, whatever ran before.
class LoggingSetupTest : public LogDirTest {
  protected:
    void SetUp() override {
        LogDirTest::SetUp();
        previous_ = log::replace_logger_for_testing(nullptr);
        previous_level_ = log::max_level();
        log::set_max_level(Level::Off);
    }
    void TearDown() override {
        log::replace_logger_for_testing(previous_);
        log::set_max_level(previous_level_);
        LogDirTest::TearDown();
    }

    LoggingConfig config(std::string filter) const { return {std::move(filter), dir_ / "logs"}; }

    std::shared_ptr<log::Logger> previous_;
    Level previous_level_ = Level::Off;
};

TEST_F(LoggingSetupTest, InstallsOnceAndWritesThroughTheFacade) {
    auto handle = init_logging(config("warn,vireo::acquisition=debug"), "/opt/bin/vireo.bin");
    ASSERT_TRUE(handle) << display(handle.error());
    EXPECT_EQ(log::max_level(), Level::Debug);
    EXPECT_NE(log::logger(), nullptr);

    log::write(Level::Error, "vireo::scan", "serial connection: gone");
    log::write(Level::Info, "vireo::scan", "filtered by the default level");
    log::write(Level::Debug, "vireo::acquisition", "vbat: 4120 mV");
    log::write(Level::Trace, "vireo::acquisition", "above the maximum level");

    // A second start is refused and leaves the installed logger's level alone.
    const auto second = init_logging(config("trace"), "vireo");
    ASSERT_FALSE(second);
    EXPECT_EQ(display(second.error()), "Logger initialization failed");
    EXPECT_EQ(log::max_level(), Level::Debug);

    { const LoggerHandle released = std::move(*handle); }
    EXPECT_NE(log::logger(), nullptr);
    log::write(Level::Error, "vireo::scan", "after release");

    const auto files = files_in(dir_ / "logs");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].string().starts_with("vireo_")) << files[0];
    EXPECT_EQ(read_file(dir_ / "logs" / files[0]),
              "ERROR [vireo::scan] serial connection: gone\n"
              "DEBUG [vireo::acquisition] vbat: 4120 mV\n");
}

TEST_F(LoggingSetupTest, AFailedStartInstallsNothing) {
    std::ofstream(dir_ / "plain") << "";
    struct Case {
        LoggingConfig config;
        std::string display;
    };
    const Case cases[] = {
        {config("info,vireo=loud,a=b=c"),
         "invalid log filter: unknown level filter: loud; invalid part in log spec "
         "'a=b=c', ignoring it"},
        {{"info", dir_ / "plain"},
         "Log file cannot be written because the specified path is not a directory"},
        {{"info", dir_ / "plain" / "logs"}, "log cannot be written: Not a directory (os error 20)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.display);
        const auto handle = init_logging(c.config, "vireo");
        ASSERT_FALSE(handle);
        EXPECT_EQ(display(handle.error()), c.display);
        EXPECT_EQ(log::logger(), nullptr);
        EXPECT_EQ(log::max_level(), Level::Off);
    }
    EXPECT_FALSE(fs::exists(dir_ / "logs"));
}

class LoggingSetupDeathTest : public LoggingSetupTest {
  protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        LoggingSetupTest::SetUp();
    }
};

// The user may quit during a sweep: the handle is released and exit() runs the static
// destructors while the worker still logs. The race is short, so it is tried several times.
TEST_F(LoggingSetupDeathTest, TheProgramEndsCleanlyWhileAWorkerLogs) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_EXIT(
            {
                {
                    auto handle = init_logging(config("trace"), "vireo");
                    if (!handle) {
                        ::_exit(2);
                    }
                    std::thread([] {
                        for (;;) {
                            log::write(Level::Debug, "vireo::acquisition", "still sweeping");
                        }
                    }).detach();
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                // As when the entry returns: the handle is released, then exit() runs.
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), "");
    }
}

TEST(LogBaseName, IsTheProgramFileNameWithoutExtension) {
    struct Case {
        std::string_view argv0;
        std::string_view base;
    };
    const Case cases[] = {
        {"vireo", "vireo"},
        {"./build/dev/vireo", "vireo"},
        {"/usr/bin/vireo.bin", "vireo"},
        {"tools/sweep.tar.gz", "sweep.tar"},
        {".hidden", ".hidden"},
        {"", "rs"},
        {"/opt/vireo/", "vireo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argv0);
        EXPECT_EQ(log_base_name(c.argv0), c.base);
    }
}

TEST(LoggerError, DebugFormsAndSources) {
    const LoggerError parse = LoggerError::Parse{{"unknown level filter: loud", "a \"b\""}};
    EXPECT_EQ(debug(parse), R"(Parse(["unknown level filter: loud", "a \"b\""]))");
    EXPECT_FALSE(source(parse));

    const LoggerError output = LoggerError::Output{IoError::from_os(2)};
    EXPECT_EQ(display(output), "log cannot be written: No such file or directory (os error 2)");
    EXPECT_EQ(debug(output),
              R"(Output(Os { code: 2, kind: NotFound, message: "No such file or directory" }))");
    ASSERT_TRUE(source(output));
    EXPECT_EQ(source(output)->display(), "No such file or directory (os error 2)");

    EXPECT_EQ(debug(LoggerError(LoggerError::BadDirectory{})), "BadDirectory");
    EXPECT_EQ(debug(LoggerError(LoggerError::AlreadyInstalled{})), "AlreadyInstalled");
    EXPECT_FALSE(source(LoggerError(LoggerError::AlreadyInstalled{})));
}

}  // namespace
}  // namespace vireo::logging
