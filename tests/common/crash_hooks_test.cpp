#include "common/crash_hooks.hpp"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace vireo {
namespace {

// The hooks are process-wide, so every test installs them in a child process only.
class CrashHooksDeathTest : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void say(const char* text) {
    (void)!::write(STDERR_FILENO, text, std::char_traits<char>::length(text));
}

TEST_F(CrashHooksDeathTest, AnUncaughtExceptionOnAnyThreadEndsWithStatusSeven) {
    EXPECT_EXIT(
        {
            if (!install_error_reports()) {
                ::_exit(1);
            }
            wrap_crash_hook([] { say("terminal restored\n"); });
            std::thread([] { throw std::runtime_error("worker failed"); }).join();
        },
        ::testing::ExitedWithCode(7),
        "terminal restored\nThe application crashed: uncaught exception: worker failed\n");
}

TEST_F(CrashHooksDeathTest, FatalSignalsEndWithStatusSevenAfterTheWrappingHooks) {
    for (const int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) {
        SCOPED_TRACE(signal);
        EXPECT_EXIT(
            {
                if (!install_error_reports()) {
                    ::_exit(1);
                }
                wrap_crash_hook([] { say("first wrapper\n"); });
                wrap_crash_hook([] { say("second wrapper\n"); });
                std::raise(signal);
            },
            ::testing::ExitedWithCode(7),
            "second wrapper\nfirst wrapper\nThe application crashed: fatal signal SIG[A-Z]+\n");
    }
}

// The frame under way when another thread crashes is drawn whole before the terminal is given
// back, and no frame is begun after it.
TEST_F(CrashHooksDeathTest, ACrashWaitsForTheFrameUnderWayAndStopsTheNext) {
    EXPECT_EXIT(
        {
            if (!install_error_reports()) {
                ::_exit(1);
            }
            wrap_crash_hook([] { say("terminal restored\n"); });
            std::atomic<bool> drawing{false};
            std::thread([&] {
                const auto gate = TerminalOutputGate::install();
                for (;;) {
                    const TerminalOutputGate::Stretch stretch(*gate);
                    say("frame begins\n");
                    drawing = true;
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    say("frame ends\n");
                }
            }).detach();
            while (!drawing) {
                std::this_thread::yield();
            }
            std::raise(SIGSEGV);
        },
        ::testing::ExitedWithCode(7),
        "^frame begins\nframe ends\nterminal restored\nThe application crashed: fatal signal "
        "SIGSEGV\n$");
}

TEST_F(CrashHooksDeathTest, ASecondInstallationFails) {
    EXPECT_EXIT(
        {
            const auto first = install_error_reports();
            const auto second = install_error_reports();
            const bool as_expected =
                first && !second &&
                display(second.error()) == "the crash report hooks are installed already" &&
                debug(second.error()).starts_with("AlreadyInstalled\n\nLocation: ");
            ::_exit(as_expected ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vireo
