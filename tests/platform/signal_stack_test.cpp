#include "platform/signal_stack.hpp"

#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "common/crash_hooks.hpp"

namespace vireo::platform {
namespace {

// Recurses until the stack runs out (the limit is never reached); the array keeps each frame on
// the stack.
volatile int g_depth_limit = 1 << 30;

[[gnu::noinline]] int overflow(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    if (depth >= g_depth_limit) {
        return 0;
    }
    return overflow(depth + 1) + frame[0];
}

class ThreadSignalStackDeathTest : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ThreadSignalStackDeathTest, AStackOverflowOnAnotherThreadReachesTheCrashHook) {
    EXPECT_EXIT(
        {
            if (!install_error_reports()) {
                ::_exit(1);
            }
            std::thread([] {
                auto stack = ThreadSignalStack::install();
                if (!stack) {
                    ::_exit(2);
                }
                (void)overflow(0);
            }).join();
        },
        ::testing::ExitedWithCode(7), "The application crashed: fatal signal SIGSEGV\n");
}

TEST(ThreadSignalStack, GivesTheThreadItsPreviousStackBack) {
    std::thread([] {
        stack_t before{};
        ASSERT_EQ(::sigaltstack(nullptr, &before), 0);
        {
            auto stack = ThreadSignalStack::install();
            ASSERT_TRUE(stack.has_value());
            stack_t during{};
            ASSERT_EQ(::sigaltstack(nullptr, &during), 0);
            EXPECT_EQ(during.ss_flags & SS_DISABLE, 0);
            EXPECT_NE(during.ss_sp, before.ss_sp);
        }
        stack_t after{};
        ASSERT_EQ(::sigaltstack(nullptr, &after), 0);
        EXPECT_EQ(after.ss_flags & SS_DISABLE, before.ss_flags & SS_DISABLE);
        if ((before.ss_flags & SS_DISABLE) == 0) {
            EXPECT_EQ(after.ss_sp, before.ss_sp);
        }
    }).join();
}

}  // namespace
}  // namespace vireo::platform
