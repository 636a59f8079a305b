#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <csignal>
#include <stdexcept>
#include <string>

#include "helmkit/base/forked_child.hpp"

using helmkit::ForkedChild;

namespace {

constexpr std::size_t k_limit = 1u << 20;

ForkedChild::Limits quick_limits() {
    ForkedChild::Limits limits;
    limits.cpu_seconds = 2;
    return limits;
}

}  // namespace

TEST(ForkedChild, SendsWhatTheWorkWritesAndEndsWithStatusZero) {
    ForkedChild child(
        [](ForkedChild::ChildOutput& out) {
            const std::uint32_t number = 4242;
            out.write(&number, sizeof number);
            out.write_text("text from the child");
            // More than one pipe buffer, so the reading side has to wait for the rest.
            out.write_text(std::string(300 * 1024, 'x'));
        },
        quick_limits());
    std::uint32_t number = 0;
    std::string text;
    std::string long_text;
    ASSERT_TRUE(child.read(&number, sizeof number));
    ASSERT_TRUE(child.read_text(text, k_limit));
    ASSERT_TRUE(child.read_text(long_text, k_limit));
    EXPECT_EQ(number, 4242u);
    EXPECT_EQ(text, "text from the child");
    EXPECT_EQ(long_text, std::string(300 * 1024, 'x'));
    char more = 0;
    EXPECT_FALSE(child.read(&more, 1));
    const auto status = child.finish();
    EXPECT_EQ(status.exit_code, 0);
}

TEST(ForkedChild, ACrashOrAnExceptionEndsOnlyTheChild) {
    ForkedChild crashing(
        [](ForkedChild::ChildOutput& out) {
            out.write_text("before");
            out.flush();
            std::raise(SIGSEGV);
        },
        quick_limits());
    std::string text;
    ASSERT_TRUE(crashing.read_text(text, k_limit));
    EXPECT_EQ(text, "before");
    EXPECT_FALSE(crashing.read_text(text, k_limit));
    // Under AddressSanitizer, its signal handler reports the crash and exits with status 1.
    const auto crashed = crashing.finish();
    EXPECT_TRUE(crashed.signal == SIGSEGV || (crashed.exit_code && *crashed.exit_code != 0));

    ForkedChild throwing([](ForkedChild::ChildOutput&) { throw std::runtime_error("no"); },
                         quick_limits());
    EXPECT_FALSE(throwing.read_text(text, k_limit));
    EXPECT_EQ(throwing.finish().exit_code, 1);
}

TEST(ForkedChild, ALoopingChildIsEndedByItsCpuLimit) {
    ForkedChild::Limits limits;
    limits.cpu_seconds = 1;
    ForkedChild looping(
        [](ForkedChild::ChildOutput&) {
            volatile unsigned long spins = 0;
            while (true) spins = spins + 1;
        },
        limits);
    char byte = 0;
    EXPECT_FALSE(looping.read(&byte, 1));
    EXPECT_EQ(looping.finish().signal, SIGXCPU);
}

TEST(ForkedChild, LeavingEarlyEndsAChildThatStillWrites) {
    {
        ForkedChild endless(
            [](ForkedChild::ChildOutput& out) {
                const std::string block(4096, 'y');
                while (true) out.write(block.data(), block.size());
            },
            quick_limits());
        char byte = 0;
        ASSERT_TRUE(endless.read(&byte, 1));
        EXPECT_EQ(byte, 'y');
    }
    // The destructor returned, so the child was ended and reaped: none is left to wait for.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ForkedChild, AChildThatWaitsWithoutSendingIsEnded) {
    ForkedChild::Limits limits;
    limits.quiet_seconds = 1;
    // Waiting uses no CPU, so only the reading side's patience can end it.
    ForkedChild waiting([](ForkedChild::ChildOutput&) { ::pause(); }, limits);
    char byte = 0;
    EXPECT_FALSE(waiting.read(&byte, 1));
    EXPECT_EQ(waiting.finish().signal, SIGKILL);
}

TEST(ForkedChild, ATextLongerThanTheReaderTakesIsRefusedUnread) {
    ForkedChild child(
        [](ForkedChild::ChildOutput& out) {
            const std::uint32_t claimed = 0xFFFFFFF0u;
            out.write(&claimed, sizeof claimed);
        },
        quick_limits());
    std::string text;
    EXPECT_FALSE(child.read_text(text, k_limit));
    EXPECT_TRUE(text.empty());
}
