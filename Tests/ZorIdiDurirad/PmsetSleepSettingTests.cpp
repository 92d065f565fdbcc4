#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "ZorIdiDurirad/BoundedCommand.h"
#include "ZorIdiDurirad/CommandFailure.h"
#include "ZorIdiDurirad/CommandInterrupt.h"
#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/PmsetToolPath.h"
#include "ZorIdiDurirad/SleepSettingFailures.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace staywake {
namespace {

using testing::TemporaryDirectory;

// A stand-in for the pmset tool. It appends each command line to "calls",
// keeps the setting in "state", and is told what to do wrong by files beside
// it: "<use>-status" (exit with that status), "<use>-sleep" (take that many
// seconds), "<use>-hang" (never finish), "listing" (print that instead of a
// real listing), "ignore-writes" (succeed without changing anything) and
// "announce" (a fifo to say "started" into before hanging), where <use> is
// "write" or "read".
const std::string fakePmset = R"script(#!/bin/sh
dir=$(dirname "$0")
echo "$*" >> "$dir/calls"
case "$1" in
    -a) use=write ;;
    -g) use=read ;;
    *) echo "usage: pmset" >&2; exit 64 ;;
esac
if [ -f "$dir/$use-hang" ]; then
    [ -p "$dir/announce" ] && echo started > "$dir/announce"
    exec sleep 30
fi
[ -f "$dir/$use-sleep" ] && sleep "$(cat "$dir/$use-sleep")"
[ -f "$dir/$use-status" ] && exit "$(cat "$dir/$use-status")"
if [ "$use" = write ]; then
    [ -f "$dir/ignore-writes" ] || echo "$3" > "$dir/state"
    echo "written" # the tool's own chatter is never parsed
elif [ -f "$dir/listing" ]; then
    cat "$dir/listing"
else
    printf 'System-wide power settings:\n SleepDisabled\t\t%s\nCurrently in use:\n standby              1\n' \
        "$(cat "$dir/state" 2>/dev/null || echo 0)"
fi
)script";

class PmsetSleepSettingTest : public testing::ChildProcessTest {
protected:
    PmsetSleepSettingTest() : tool(testing::writeProgram(directory.path() / "pmset", fakePmset)) {}

    // The production setting, running the fake through the real runner.
    PmsetSleepSetting makeSetting(double timeout = 1.0, double readTimeout = 0.25,
                                  std::shared_ptr<CommandInterrupt> interrupt = nullptr) {
        return PmsetSleepSetting([this](const std::string& line) { logged.push_back(line); }, timeout, readTimeout,
                                 std::move(interrupt), tool);
    }

    // The real runner and a clock of the test's choosing; every limit the
    // setting hands to the runner is kept in `limits`.
    PmsetSleepSetting makeSetting(double timeout, double readTimeout, std::function<double()> uptime) {
        return PmsetSleepSetting(
            [this](const std::string& line) { logged.push_back(line); }, timeout, readTimeout, std::move(uptime),
            [this](const std::string& path, const std::vector<std::string>& arguments, double limit) {
                limits.push_back(limit);
                return BoundedCommand::run(path, arguments, limit);
            },
            tool);
    }

    /// Leaves exactly these control files beside the tool, and no calls.
    void useFiles(const std::vector<std::pair<std::string, std::string>>& files) const {
        for (const auto& name : {"state", "listing", "read-status", "write-status", "ignore-writes", "read-hang",
                                 "write-hang", "calls"}) {
            std::filesystem::remove((directory.path() / name).string());
        }
        for (const auto& [name, contents] : files) {
            testing::writeFile(directory.path() / name, contents);
        }
    }

    std::vector<std::string> calls() const {
        std::vector<std::string> lines;
        std::istringstream text(testing::readFile(directory.path() / "calls"));
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    TemporaryDirectory directory;
    std::string tool;
    std::vector<std::string> logged;
    std::vector<double> limits;
};

// Runs `action` and returns the description of what it threw ("" if nothing).
template <typename Failure> std::string failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Failure& failure) {
        return failure.what();
    }
    return "";
}

TEST_F(PmsetSleepSettingTest, ReadsTheSettingWithPmsetG) {
    struct Case {
        std::string name;
        std::vector<std::pair<std::string, std::string>> files;
        bool expected;
        std::string failure; // empty: returns `expected`
    };
    const std::vector<Case> cases = {
        {"disabled", {{"state", "1"}}, true, ""},
        {"enabled", {{"state", "0"}}, false, ""},
        {"a failing tool", {{"read-status", "2"}}, false, "pmset -g exited 2"},
        {"garbage",
         {{"listing", "Segmentation fault\n"}},
         false,
         "pmset -g established nothing about the setting: no SleepDisabled line, and no \"Currently in "
         "use:\" "
         "\xE2\x80\x94 this is not pmset -g output"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        useFiles(c.files);
        auto setting = makeSetting();
        bool result = !c.expected;
        EXPECT_EQ(failureOf<SleepSettingReadFailure>([&] { result = setting.isSleepDisabled(); }), c.failure);
        if (c.failure.empty()) {
            EXPECT_EQ(result, c.expected);
        }
        EXPECT_EQ(calls(), std::vector<std::string>{"-g"});
    }
    EXPECT_TRUE(logged.empty()) << "a read logs nothing";
}

TEST_F(PmsetSleepSettingTest, WritesThenReadsBackAndLogsOnlyAConfirmedWrite) {
    auto setting = makeSetting();
    setting.setSleepDisabled(true);
    EXPECT_EQ(testing::readFile(directory.path() / "state"), "1\n");
    EXPECT_TRUE(setting.isSleepDisabled());
    setting.setSleepDisabled(false);
    EXPECT_EQ(testing::readFile(directory.path() / "state"), "0\n");

    EXPECT_EQ(calls(), (std::vector<std::string>{"-a disablesleep 1", "-g", "-g", "-a disablesleep 0", "-g"}));
    EXPECT_EQ(logged, (std::vector<std::string>{"wrote disablesleep 1, and read it back",
                                                "wrote disablesleep 0, and read it back"}));
}

TEST_F(PmsetSleepSettingTest, WriteFailuresSayWhatWentWrongAndLogNothing) {
    struct Case {
        std::string name;
        std::vector<std::pair<std::string, std::string>> files;
        bool value;
        std::string failure;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"the write fails", {{"write-status", "1"}}, true, "pmset exited 1", {"-a disablesleep 1"}},
        {"the read-back fails",
         {{"read-status", "3"}},
         true,
         "pmset -g exited 3, so the setting was never read back",
         {"-a disablesleep 1", "-g"}},
        {"the read-back is garbage",
         {{"listing", "SleepDisabled maybe\n"}},
         false,
         "pmset -g established nothing about the setting: SleepDisabled line without a single 0 or 1: "
         "\"maybe\"",
         {"-a disablesleep 0", "-g"}},
        {"the tool ignores a 1",
         {{"ignore-writes", ""}},
         true,
         "asked for disablesleep 1, read back 0",
         {"-a disablesleep 1", "-g"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        useFiles(c.files);
        auto setting = makeSetting();
        EXPECT_EQ(failureOf<SleepSettingWriteFailure>([&] { setting.setSleepDisabled(c.value); }), c.failure);
        EXPECT_EQ(calls(), c.calls);
    }
    EXPECT_TRUE(logged.empty());
}

TEST_F(PmsetSleepSettingTest, AHangingReadOrWriteIsStoppedAtItsOwnLimitAndAWriteIsNotReadBack) {
    auto setting = makeSetting(1.0, 0.25);
    useFiles({{"read-hang", ""}});
    EXPECT_EQ(failureOf<CommandFailure>([&] { setting.isSleepDisabled(); }),
              "pmset -g did not finish within 0.25 s and was stopped");
    useFiles({{"write-hang", ""}});
    EXPECT_EQ(failureOf<CommandFailure>([&] { setting.setSleepDisabled(true); }),
              "pmset -a disablesleep 1 did not finish within 1 s and was stopped");
    EXPECT_EQ(calls(), std::vector<std::string>{"-a disablesleep 1"});
}

TEST_F(PmsetSleepSettingTest, ReadBackGetsWhatTheWriteLeftOfTheBudget) {
    // The clock moves by the given step at each reading: start, then after the
    // write. The read limit plays no part in a write.
    struct Case {
        double writeTook;
        double readBackLimit;
    };
    for (const auto& c : std::vector<Case>{{0.0, 1.0}, {0.375, 0.625}, {1.0, 0.0}, {1.5, 0.0}}) {
        SCOPED_TRACE(c.writeTook);
        limits.clear();
        double now = 100;
        auto setting = makeSetting(1.0, 7.0, [&] { return std::exchange(now, now + c.writeTook); });
        testing::writeFile(directory.path() / "read-sleep", "0.3");
        const auto failure = failureOf<CommandFailure>([&] { setting.setSleepDisabled(true); });
        EXPECT_EQ(limits, (std::vector<double>{1.0, c.readBackLimit}));
        // A budget used up stops the read-back at its first check.
        EXPECT_EQ(failure, c.readBackLimit > 0 ? "" : "pmset -g did not finish within 0 s and was stopped");
    }
}

TEST_F(PmsetSleepSettingTest, SlowWriteLeavesTheReadBackOnlyTheRestOfTheBudget) {
    // On the real clock: a write that takes 0.4 s of a 1 s budget leaves the
    // hanging read-back at most 0.6 s, so the whole call stays near 1 s.
    testing::writeFile(directory.path() / "write-sleep", "0.4");
    testing::writeFile(directory.path() / "read-hang", "");
    auto setting = makeSetting(1.0, 7.0, std::function<double()>());
    const auto start = std::chrono::steady_clock::now();
    const auto failure = failureOf<CommandFailure>([&] { setting.setSleepDisabled(true); });
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    ASSERT_EQ(limits.size(), 2u);
    EXPECT_EQ(limits[0], 1.0);
    EXPECT_GT(limits[1], 0.0);
    EXPECT_LE(limits[1], 0.6);
    EXPECT_EQ(failure.rfind("pmset -g did not finish within 0.", 0), 0u) << failure;
    EXPECT_LT(elapsed, 2.5);
    std::printf("write with a hanging read-back took %.0f ms\n", elapsed * 1000);
}

TEST_F(PmsetSleepSettingTest, InterruptStopsARunningWrite) {
    testing::writeFile(directory.path() / "write-hang", "");
    const std::string fifo = testing::makeFifo(directory.path() / "announce");
    auto interrupt = std::make_shared<CommandInterrupt>();
    auto setting = makeSetting(60, 0.25, interrupt);

    auto writing = std::async(std::launch::async,
                              [&] { return failureOf<CommandFailure>([&] { setting.setSleepDisabled(false); }); });
    ASSERT_TRUE(testing::awaitFifoLine(fifo, writing)) << "the tool never started";
    interrupt->interrupt();
    EXPECT_EQ(writing.get(), "pmset -a disablesleep 0 was stopped before it finished");
    EXPECT_EQ(calls(), std::vector<std::string>{"-a disablesleep 0"});
}

TEST_F(PmsetSleepSettingTest, MissingToolGivesTheLaunchersError) {
    auto setting =
        PmsetSleepSetting([](const std::string&) {}, 1.0, 0.25, nullptr, (directory.path() / "no-pmset").string());
    EXPECT_THROW(setting.isSleepDisabled(), CommandLaunchError);
    EXPECT_THROW(setting.setSleepDisabled(true), CommandLaunchError);
}

TEST(PmsetToolPath, IsThePmsetBesideTheRunningExecutable) {
    EXPECT_EQ(pmsetPathBeside("/opt/Staywake.app/Contents/Helpers/StaywakeLidHelper"),
              "/opt/Staywake.app/Contents/Helpers/pmset");
    // A helper whose file an update replaced still finds the bundle's tool.
    EXPECT_EQ(pmsetPathBeside("/opt/Staywake.app/Contents/Helpers/StaywakeLidHelper (deleted)"),
              "/opt/Staywake.app/Contents/Helpers/pmset");
    EXPECT_EQ(defaultPmsetPath(),
              (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "pmset").string());
}

} // namespace
} // namespace staywake
