#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "ZorIdiDurirad/BoundedCommand.h"
#include "ZorIdiDurirad/CommandFailure.h"
#include "ZorIdiDurirad/CommandInterrupt.h"

#include <chrono>
#include <cstdio>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <signal.h>
#include <string>
#include <vector>

namespace staywake {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the run threw, or "" when it returned.
std::string failureOf(const std::vector<std::string>& command, double timeout,
                      CommandInterrupt* interrupt = nullptr) {
    try {
        BoundedCommand::run(command.front(), {command.begin() + 1, command.end()}, timeout, interrupt);
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return "";
}

class BoundedCommandTest : public testing::ChildProcessTest {};

TEST_F(BoundedCommandTest, ReturnsStatusAndStandardOutputOnly) {
    const struct {
        std::vector<std::string> command;
        BoundedCommand::Result expected;
    } cases[] = {
        // Standard error is never collected; a non-zero status is a result.
        {{"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, {3, "out\n"}},
        // Standard input is the null device: cat ends at once.
        {{"/bin/cat"}, {0, ""}},
        {{"/bin/sh", "-c", "kill -TERM $$"}, {SIGTERM, ""}},
        // Arguments reach the program as they are, no shell in between.
        {{"/usr/bin/printf", "%s|", "a b", "$HOME", "*", "", "'\"`;"}, {0, "a b|$HOME|*||'\"`;|"}},
        {{"/usr/bin/printf", "\\377\\376 ok \\342\\202"}, {0, "\xEF\xBF\xBD\xEF\xBF\xBD ok \xEF\xBF\xBD"}},
        // Done at the program's exit, not when a child of it closes the output.
        {{"/bin/sh", "-c", "sleep 5 & echo started"}, {0, "started\n"}},
        // Past the cap output is read and dropped: the program is never blocked, and exits 0 in time.
        {{"/usr/bin/head", "-c", "40000000", "/dev/zero"}, {0, std::string(BoundedCommand::outputCap, '\0')}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(BoundedCommand::commandText(c.command.front(), {}));
        const auto start = Clock::now();
        const auto result = BoundedCommand::run(c.command.front(), {c.command.begin() + 1, c.command.end()}, 30);
        EXPECT_EQ(result.status, c.expected.status);
        EXPECT_TRUE(result.output == c.expected.output) << result.output.substr(0, 80);
        EXPECT_LT(secondsSince(start), 4.0);
    }
}

TEST_F(BoundedCommandTest, AProgramPastItsLimitIsStoppedWithWhatItStartedAndOneThatCannotStartSaysWhy) {
    testing::TemporaryDirectory directory;
    const std::string pidFile = (directory.path() / "pid").string();
    const std::string missing = (directory.path() / "missing").string();
    // Never handed to a shell: a file that is not a program is an error of its own.
    const std::string garbage = testing::writeProgram(directory.path() / "garbage", "\x7f\x01\x02 not a program");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        std::vector<std::string> command;
        double limit;
        std::string failure;
    } cases[] = {
        // Its output closed early, and a grandchild started.
        {{"/bin/sh", "-c", "exec >&-; sleep 30 & echo $! > \"$0\"; wait", pidFile},
         0.3,
         "sh -c exec >&-; sleep 30 & echo $! > \"$0\"; wait " + pidFile +
             " did not finish within 0.3 s and was stopped"},
        {{"/bin/sleep", "5"}, 0, "sleep 5 did not finish within 0 s and was stopped"},
        // Not a number is no limit at all rather than an endless one.
        {{"/bin/sleep", "5"}, nan, "sleep 5 did not finish within nan s and was stopped"},
        {{missing, "-g"}, 10, "could not launch " + missing + ": No such file or directory"},
        {{garbage, "-g"}, 10, "could not launch " + garbage + ": Exec format error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        const auto start = Clock::now();
        EXPECT_EQ(failureOf(c.command, c.limit), c.failure);
        EXPECT_GE(secondsSince(start), c.limit > 0 && c.failure.ends_with("stopped") ? c.limit : 0);
        EXPECT_LT(secondsSince(start), 3.0);
    }
    // The program leads its own group, so the grandchild goes too (and takes a moment to die).
    const int grandchild = testing::pidfdOf(std::stoi(testing::readFile(pidFile)));
    EXPECT_TRUE(grandchild < 0 || testing::endsWithin(grandchild, std::chrono::seconds(5)));
    ::close(grandchild);
}

TEST_F(BoundedCommandTest, ProgramGetsOnlyItsThreeStandardDescriptorsAndAPlainSignalState) {
    // A descriptor opened without close-on-exec, SIGTERM blocked (as in the
    // helper, which sigwaits for it) and SIGPIPE ignored must not reach it.
    const int stray = ::open("/dev/null", O_RDONLY);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigset_t previousMask;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &previousMask), 0);
    const auto previousPipe = ::signal(SIGPIPE, SIG_IGN);
    const auto descriptors = BoundedCommand::run("/bin/ls", {"/proc/self/fd"}, 10);
    const auto signals = BoundedCommand::run("/bin/grep", {"-E", "^Sig(Blk|Ign)", "/proc/self/status"}, 10);
    ::signal(SIGPIPE, previousPipe);
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::close(stray);

    EXPECT_EQ(descriptors.output, "0\n1\n2\n3\n"); // 3 is ls's own directory
    // glibc's posix_spawn leaves its two real-time signals (32, 33) ignored.
    unsigned long long blocked = 0;
    unsigned long long ignored = 0;
    ASSERT_EQ(std::sscanf(signals.output.c_str(), "SigBlk: %llx SigIgn: %llx", &blocked, &ignored), 2);
    EXPECT_EQ(blocked, 0u);
    EXPECT_EQ(ignored & 0x7FFFFFFFu, 0u) << signals.output;
}

TEST_F(BoundedCommandTest, OnlyAPressWhileRunningStopsTheProgramPromptly) {
    testing::TemporaryDirectory directory;
    const std::string fifo = testing::makeFifo(directory.path() / "ready");
    CommandInterrupt interrupt;
    interrupt.interrupt(); // before the run: not for this command
    const std::vector<std::string> command = {"/bin/sh", "-c", "echo ready > \"$0\"; exec sleep 30", fifo};
    auto running = std::async(std::launch::async, [&] {
        const auto failure = failureOf(command, 60, &interrupt);
        return std::make_pair(failure, Clock::now());
    });
    ASSERT_TRUE(testing::awaitFifoLine(fifo, running)) << "the program never said it was running";
    const auto pressed = Clock::now();
    interrupt.interrupt();
    const auto [failure, returned] = running.get();
    EXPECT_EQ(failure, "sh -c echo ready > \"$0\"; exec sleep 30 " + fifo + " was stopped before it finished");
    EXPECT_LT(std::chrono::duration<double>(returned - pressed).count(), 0.5);
}

} // namespace
} // namespace staywake
