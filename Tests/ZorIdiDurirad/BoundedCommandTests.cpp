#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "ZorIdiDurirad/BoundedCommand.h"
#include "ZorIdiDurirad/CommandFailure.h"
#include "ZorIdiDurirad/CommandInterrupt.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/syscall.h>
#include <vector>

namespace staywake {
namespace {

using testing::ChildProcessTest;
using testing::TemporaryDirectory;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs and expects a CommandFailure, which it returns.
CommandFailure runExpectingFailure(const std::string& path, const std::vector<std::string>& arguments,
                                   double timeout, CommandInterrupt* interrupt = nullptr) {
    try {
        const auto result = BoundedCommand::run(path, arguments, timeout, interrupt);
        ADD_FAILURE() << "finished with status " << result.status << " instead of being stopped";
    } catch (const CommandFailure& failure) {
        return failure;
    }
    return CommandFailure::interrupted("<nothing was thrown>");
}

class BoundedCommandTest : public ChildProcessTest {};

TEST_F(BoundedCommandTest, ReturnsStatusAndStandardOutputOnly) {
    struct Case {
        std::string path;
        std::vector<std::string> arguments;
        BoundedCommand::Result expected;
    };
    const std::vector<Case> cases = {
        // Standard error is never collected; a non-zero status is a result.
        {"/bin/sh", {"-c", "echo out; echo err >&2; exit 3"}, {3, "out\n"}},
        // Standard input is the null device: cat ends at once.
        {"/bin/cat", {}, {0, ""}},
        // A program ended by a signal reports the signal number.
        {"/bin/sh", {"-c", "kill -TERM $$"}, {SIGTERM, ""}},
        // Arguments reach the program as they are, no shell in between.
        {"/usr/bin/printf", {"%s|", "a b", "$HOME", "*", "", "'\"`;"}, {0, "a b|$HOME|*||'\"`;|"}},
        // Invalid UTF-8 comes back with U+FFFD in its place.
        {"/usr/bin/printf", {"\\377\\376 ok \\342\\202"}, {0, "\xEF\xBF\xBD\xEF\xBF\xBD ok \xEF\xBF\xBD"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(BoundedCommand::commandText(c.path, c.arguments));
        EXPECT_EQ(BoundedCommand::run(c.path, c.arguments, 10), c.expected);
    }
}

TEST_F(BoundedCommandTest, KeepsExactlyTheFirstMebibyteAndNeverBlocksTheProgram) {
    std::string numbers;
    for (int i = 1; numbers.size() <= BoundedCommand::outputCap; ++i) {
        numbers += std::to_string(i) + "\n";
    }
    struct Case {
        std::vector<std::string> command;
        std::string expected;
    };
    // The program ends with status 0 only if it could write everything: a
    // runner that stopped reading at the cap would leave it blocked until the
    // limit killed it.
    const std::vector<Case> cases = {
        {{"/bin/sh", "-c", "/usr/bin/seq 1 400000 && echo finished >&2"},
         numbers.substr(0, BoundedCommand::outputCap)},
        {{"/usr/bin/head", "-c", "40000000", "/dev/zero"}, std::string(BoundedCommand::outputCap, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.front());
        const auto result = BoundedCommand::run(
            c.command.front(), std::vector<std::string>(c.command.begin() + 1, c.command.end()), 30);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output.size(), BoundedCommand::outputCap);
        EXPECT_TRUE(result.output == c.expected)
            << "the first differing byte is at "
            << std::mismatch(result.output.begin(), result.output.end(), c.expected.begin(), c.expected.end())
                       .first -
                   result.output.begin();
    }
}

TEST_F(BoundedCommandTest, ProgramThatClosesItsOutputButKeepsRunningIsStoppedAtTheLimit) {
    const auto start = Clock::now();
    const auto failure = runExpectingFailure("/bin/sh", {"-c", "exec >&-; exec sleep 30"}, 0.3);
    const double elapsed = secondsSince(start);

    EXPECT_EQ(failure, CommandFailure::timedOut("sh -c exec >&-; exec sleep 30", 0.3));
    EXPECT_STREQ(failure.what(), "sh -c exec >&-; exec sleep 30 did not finish within 0.3 s and was stopped");
    EXPECT_GE(elapsed, 0.3);
    EXPECT_LT(elapsed, 5.0);
}

TEST_F(BoundedCommandTest, LimitOfZeroOrLessStopsAtTheFirstCheck) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0.0, "sleep 5 did not finish within 0 s and was stopped"},
        {-1.0, "sleep 5 did not finish within -1 s and was stopped"},
        // Not a number is no limit at all rather than an endless one.
        {std::numeric_limits<double>::quiet_NaN(), "sleep 5 did not finish within nan s and was stopped"},
    };
    for (const auto& [limit, description] : cases) {
        SCOPED_TRACE(limit);
        const auto start = Clock::now();
        const auto failure = runExpectingFailure("/bin/sleep", {"5"}, limit);
        EXPECT_STREQ(failure.what(), description.c_str());
        EXPECT_EQ(failure.kind(), CommandFailure::Kind::timedOut);
        EXPECT_LT(secondsSince(start), 2.0);
    }
}

TEST_F(BoundedCommandTest, FinishesWhenTheProgramExitsEvenIfItsChildKeepsTheOutputOpen) {
    const auto start = Clock::now();
    const auto result = BoundedCommand::run("/bin/sh", {"-c", "sleep 5 & echo started"}, 30);
    EXPECT_EQ(result, (BoundedCommand::Result{0, "started\n"}));
    EXPECT_LT(secondsSince(start), 4.0) << "waited for the end of the output instead of the exit";
}

TEST_F(BoundedCommandTest, ProgramGetsOnlyItsThreeStandardDescriptorsAndAPlainSignalState) {
    // A descriptor opened without close-on-exec, SIGTERM blocked (as in the
    // helper, which sigwaits for it) and SIGPIPE ignored must not reach the
    // program.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 0);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigset_t previousMask;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &previousMask), 0);
    const auto previousPipe = ::signal(SIGPIPE, SIG_IGN);

    const auto descriptors = BoundedCommand::run("/bin/ls", {"/proc/self/fd"}, 10);
    const auto signals = BoundedCommand::run("/bin/grep", {"-E", "^Sig(Blk|Ign)", "/proc/self/status"}, 10);
    const auto group = BoundedCommand::run("/usr/bin/cut", {"-d", " ", "-f", "1,5", "/proc/self/stat"}, 10);

    ::signal(SIGPIPE, previousPipe);
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::close(stray);

    // ls's own directory descriptor is the 3.
    EXPECT_EQ(descriptors.output, "0\n1\n2\n3\n");
    // glibc's posix_spawn itself leaves its two reserved real-time signals
    // (32, 33) ignored; the standard ones (1 to 31) must all be at default.
    unsigned long long blocked = 0;
    unsigned long long ignored = 0;
    ASSERT_EQ(std::sscanf(signals.output.c_str(), "SigBlk: %llx SigIgn: %llx", &blocked, &ignored), 2)
        << signals.output;
    EXPECT_EQ(blocked, 0u);
    EXPECT_EQ(ignored & 0x7FFFFFFFu, 0u) << signals.output;
    // It leads its own process group, so that a stop reaches what it started.
    const auto blank = group.output.find(' ');
    ASSERT_NE(blank, std::string::npos) << group.output;
    EXPECT_EQ(group.output.substr(0, blank) + "\n", group.output.substr(blank + 1));
}

TEST_F(BoundedCommandTest, StoppingAlsoKillsWhatTheProgramStarted) {
    TemporaryDirectory directory;
    const std::string pidFile = (directory.path() / "pid").string();
    const auto failure = runExpectingFailure("/bin/sh", {"-c", "sleep 30 & echo $! > \"$0\"; wait", pidFile}, 1.0);
    EXPECT_EQ(failure.kind(), CommandFailure::Kind::timedOut);

    const std::string grandchild = testing::readFile(directory.path() / "pid");
    ASSERT_FALSE(grandchild.empty()) << "the program never started its child";
    // The kill is sent at once but a process takes a moment to die: await its
    // exit (a pidfd polls readable then), with a bound far above that moment.
    const int exitDescriptor = static_cast<int>(::syscall(SYS_pidfd_open, std::stoi(grandchild), 0));
    if (exitDescriptor < 0) {
        EXPECT_EQ(errno, ESRCH) << "cannot watch the program's child";
        return;
    }
    pollfd exited{exitDescriptor, POLLIN, 0};
    EXPECT_EQ(::poll(&exited, 1, 5000), 1) << "the program's child still runs";
    ::close(exitDescriptor);
}

TEST_F(BoundedCommandTest, InterruptPressedBeforeRunIsIgnored) {
    CommandInterrupt interrupt;
    interrupt.interrupt();
    interrupt.interrupt();
    const auto result = BoundedCommand::run("/bin/sh", {"-c", "sleep 0.2; echo done"}, 10, &interrupt);
    EXPECT_EQ(result, (BoundedCommand::Result{0, "done\n"}));
}

TEST_F(BoundedCommandTest, InterruptPressedWhileRunningStopsTheProgramPromptly) {
    TemporaryDirectory directory;
    const std::string fifo = testing::makeFifo(directory.path() / "ready");
    CommandInterrupt interrupt;

    auto running = std::async(std::launch::async, [&] {
        const auto failure =
            runExpectingFailure("/bin/sh", {"-c", "echo ready > \"$0\"; exec sleep 30", fifo}, 60, &interrupt);
        return std::make_pair(failure, Clock::now());
    });
    ASSERT_TRUE(testing::awaitFifoLine(fifo, running)) << "the program never said it was running";
    const auto pressed = Clock::now();
    interrupt.interrupt();
    const auto [failure, returned] = running.get();

    EXPECT_EQ(failure, CommandFailure::interrupted("sh -c echo ready > \"$0\"; exec sleep 30 " + fifo));
    const double latency = std::chrono::duration<double>(returned - pressed).count();
    std::printf("interrupt to return: %.1f ms\n", latency * 1000);
    EXPECT_LT(latency, 0.5);
}

TEST_F(BoundedCommandTest, ProgramThatCannotBeStartedGivesTheLaunchersError) {
    TemporaryDirectory directory;
    const std::string plain = (directory.path() / "plain").string();
    testing::writeFile(plain, "#!/bin/sh\necho hi\n");
    const std::string garbage = testing::writeProgram(directory.path() / "garbage", "\x7f\x01\x02 not a program");
    const std::vector<std::pair<std::string, int>> cases = {
        {(directory.path() / "missing").string(), ENOENT},
        {plain, EACCES},
        {(directory.path() / "").string(), EACCES},
        {garbage, ENOEXEC},
    };
    for (const auto& [path, error] : cases) {
        SCOPED_TRACE(path);
        try {
            BoundedCommand::run(path, {"-g"}, 10);
            ADD_FAILURE() << "it ran";
        } catch (const CommandLaunchError& launch) {
            EXPECT_EQ(launch.code(), std::error_code(error, std::generic_category()));
            EXPECT_EQ(launch.path(), path);
            EXPECT_EQ(std::string(launch.what()).rfind("could not launch " + path + ": ", 0), 0u) << launch.what();
        }
    }
}

TEST(CommandFailure, DescribesTheCommandAndTheLimit) {
    const std::vector<std::pair<CommandFailure, std::string>> cases = {
        {CommandFailure::timedOut("pmset -g", 2.5), "pmset -g did not finish within 2.5 s and was stopped"},
        {CommandFailure::timedOut("pmset -g", 10), "pmset -g did not finish within 10 s and was stopped"},
        {CommandFailure::timedOut("pmset -g", 1234), "pmset -g did not finish within 1.23e+03 s and was stopped"},
        {CommandFailure::timedOut("pmset -g", 1.0 / 3), "pmset -g did not finish within 0.333 s and was stopped"},
        {CommandFailure::interrupted("pmset -a disablesleep 0"),
         "pmset -a disablesleep 0 was stopped before it finished"},
    };
    for (const auto& [failure, description] : cases) {
        EXPECT_EQ(failure.what(), description);
    }
    EXPECT_EQ(CommandFailure::timedOut("pmset -g", 1), CommandFailure::timedOut("pmset -g", 1));
    EXPECT_FALSE(CommandFailure::timedOut("pmset -g", 1) == CommandFailure::timedOut("pmset -g", 2));
    EXPECT_FALSE(CommandFailure::interrupted("pmset -g") == CommandFailure::timedOut("pmset -g", 0));
}

TEST(BoundedCommand, CommandTextIsTheProgramNameAndItsArguments) {
    EXPECT_EQ(BoundedCommand::commandText("/usr/bin/pmset", {"-g"}), "pmset -g");
    EXPECT_EQ(BoundedCommand::commandText("/opt/Staywake.app/Contents/Helpers/pmset", {"-a", "disablesleep", "1"}),
              "pmset -a disablesleep 1");
    EXPECT_EQ(BoundedCommand::commandText("/bin/true", {}), "true");
}

} // namespace
} // namespace staywake
