// The pmset tool run as a program, as the helper runs it, against a mocked
// logind on a private system bus, with /run private to the test so that the
// host's /run/staywake is never touched.

#include "PmsetTesting.h"
#include "StaywakeCore/LidHelper/LidSleepLease.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "ZorIdiDurirad/CommandFailure.h"
#include "ZorIdiDurirad/CommandInterrupt.h"
#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/SleepSettingFailures.h"
#include "pmset/InhibitorLock.h"
#include "pmset/LogindBus.h"

#include <sys/file.h>
#include <sys/socket.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path record = "/run/staywake/pmset-holder.pid";

using testing::endsWithin;
using testing::eventually;
using testing::nightBrewLocks;
using testing::pidfdOf;
using testing::readFile;

// The tool through the bounded runner, with its standard error, which the
// runner drops, joined to its output.
BoundedCommand::Result runTool(const std::vector<std::string>& arguments) {
    std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" 2>&1", PMSET_TOOL};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    return BoundedCommand::run("/bin/sh", shell, 20);
}

TEST(PmsetArguments, RefusesAnythingButItsTwoCommandLinesWithItsUsage) {
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"-g", "extra"},
        {"-G"},
        {"-a"},
        {"-a", "disablesleep"},
        {"-a", "disablesleep", "2"},
        {"-a", "disablesleep", "yes"},
        {"-a", "disablesleep", "01"},
        {"-a", "disablesleep", ""},
        {"-b", "disablesleep", "1"},
        {"-a", "sleep", "1"},
        {"-a", "disablesleep", "1", "extra"},
        {"disablesleep", "1"},
        {"--hold", "extra"},
    };
    for (const auto& arguments : refused) {
        const auto run = runTool(arguments);
        std::string shown;
        for (const auto& argument : arguments) {
            shown += " '" + argument + "'";
        }
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.output, "usage: pmset -g | pmset -a disablesleep 1|0\n") << shown;
    }
}

TEST(PmsetArguments, TheHoldModeIsNotACommandOfItsOwn) {
    const auto run = runTool({"--hold"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.output, "pmset: --hold is how pmset starts its own lock holder, not a command\n");
}

// A private /run and a mocked logind whose address the tool (and the holder
// it starts) inherits.
class PmsetTool : public ::testing::Test {
protected:
    void SetUp() override { start(true); }
    void TearDown() override {
        // Gone with logind: every holder sees its lock closed and exits.
        logind.reset();
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

    void start(bool withLogind) {
        if (const auto why = testing::privateRunIsOutOfReach()) {
            STAYWAKE_SKIP(*why);
        }
        fs::create_directories(directory.path() / "run");
        ASSERT_EQ(testing::enterPrivateRun((directory.path() / "run").c_str()), 0);
        logind.emplace(
            STAYWAKE_MOCK_BUSES_SCRIPT,
            std::vector<std::string>{withLogind ? "--without=upower,portal" : "--without=logind,upower,portal"});
        if (logind->isMissingATool()) {
            STAYWAKE_SKIP(logind->failure());
        }
        ASSERT_EQ(logind->failure(), "");
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", logind->systemAddress().c_str(), 1);
    }

    /// Holds back every later Inhibit answer of the mocked logind for this long.
    void setInhibitDelay(double seconds) const {
        logind->control(testing::logindName, testing::logindObject,
                        {"SetInhibitDelay", "d", std::to_string(seconds)});
    }
    /// How many Inhibit calls the mocked logind has received.
    std::size_t inhibitCalls() const {
        // "a(tav) 2 ...": the number of calls follows the signature.
        const auto reply =
            logind->control(testing::logindName, testing::logindObject, {"GetMethodCalls", "s", "Inhibit"});
        return std::stoul(reply.substr(reply.find(' ') + 1));
    }

    std::optional<pid_t> recordedHolder() const {
        const std::string text = readFile(record);
        return text.empty() ? std::nullopt : std::optional<pid_t>(std::stoi(text));
    }

    static std::vector<InhibitorLock> locksOf(pid_t pid) {
        std::vector<InhibitorLock> found;
        for (const auto& lock : LogindBus().inhibitors()) {
            if (lock.pid == pid) {
                found.push_back(lock);
            }
        }
        return found;
    }

    double timed(bool disable) {
        const auto start = std::chrono::steady_clock::now();
        setting.setSleepDisabled(disable);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    testing::TemporaryDirectory directory{"staywake-pmset"};
    std::optional<testing::LaunchedMockBuses> logind;
    std::vector<std::string> logged;
    // The helper's own budgets: 1 s for a write with its read-back, 0.25 s for
    // a read; a sanitized build only checks what happens, not how fast.
    static constexpr double slowdown = testing::isSanitized ? 8 : 1;
    PmsetSleepSetting setting{[this](const std::string& line) { logged.push_back(line); },
                              LidSleepLease::writeTimeout* slowdown, LidSleepLease::readTimeout* slowdown, nullptr,
                              PMSET_TOOL};
};

TEST_F(PmsetTool, HoldsNightBrewsLockWhileSleepIsDisabledWithinTheHelpersBudget) {
    EXPECT_FALSE(setting.isSleepDisabled());
    const double disabling = timed(true);
    std::cout << "disablesleep 1 written and read back in " << disabling * 1000 << " ms\n";
    EXPECT_TRUE(setting.isSleepDisabled());

    const auto holder = recordedHolder();
    ASSERT_TRUE(holder);
    EXPECT_NE(*holder, ::getpid());
    // What logind lists, in busctl's words rather than the tool's own reader.
    const auto listing =
        BoundedCommand::run("/usr/bin/busctl",
                            {"--address=" + logind->systemAddress(), "call", "org.freedesktop.login1",
                             "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "ListInhibitors"},
                            20);
    EXPECT_EQ(listing.output,
              "a(ssssuu) 1 \"sleep:idle:handle-lid-switch\" \"Staywake Night Brew\" \"Night Brew keeps "
              "the computer awake with its lid closed while the Staywake app holds a lease\" \"block\" 0 " +
                  std::to_string(*holder) + "\n");
    // Its own session and group, out of reach of a kill of the tool's group.
    EXPECT_EQ(::getsid(*holder), *holder);
    EXPECT_EQ(::getpgid(*holder), *holder);
    const int holderPidfd = pidfdOf(*holder);

    const auto listed = runTool({"-g"});
    EXPECT_EQ(listed.output,
              "System-wide power settings:\n SleepDisabled\t\t1\nCurrently in use:\n holder\t\tprocess " +
                  std::to_string(*holder) + "\n lock\t\tblock sleep:idle:handle-lid-switch, listed by logind\n");

    const double restoring = timed(false);
    std::cout << "disablesleep 0 written and read back in " << restoring * 1000 << " ms\n";
    EXPECT_FALSE(setting.isSleepDisabled());
    EXPECT_EQ(nightBrewLocks(), 0u);
    EXPECT_TRUE(endsWithin(holderPidfd, 0ms)) << "the holder is gone once the write returns";
    EXPECT_FALSE(fs::exists(record));
    EXPECT_EQ(logged, (std::vector<std::string>{"wrote disablesleep 1, and read it back",
                                                "wrote disablesleep 0, and read it back"}));
    ::close(holderPidfd);
}

TEST_F(PmsetTool, WritingOneTwiceKeepsOneHolderAndOneLock) {
    setting.setSleepDisabled(true);
    const auto first = recordedHolder();
    setting.setSleepDisabled(true);
    EXPECT_EQ(recordedHolder(), first);
    EXPECT_EQ(nightBrewLocks(), 1u);
    setting.setSleepDisabled(false);
    setting.setSleepDisabled(false);
    EXPECT_EQ(nightBrewLocks(), 0u);
    EXPECT_FALSE(setting.isSleepDisabled());
}

TEST_F(PmsetTool, AKilledHolderReadsZeroAndTheNextWriteStartsAnother) {
    setting.setSleepDisabled(true);
    const pid_t killed = *recordedHolder();
    const int pidfd = pidfdOf(killed);
    ASSERT_EQ(::kill(killed, SIGKILL), 0);
    ASSERT_TRUE(endsWithin(pidfd));
    ::close(pidfd);
    EXPECT_FALSE(setting.isSleepDisabled());
    EXPECT_TRUE(eventually([&] { return locksOf(killed).empty(); })) << "logind drops a lock whose pipe closed";

    setting.setSleepDisabled(true);
    EXPECT_NE(recordedHolder(), killed);
    EXPECT_EQ(nightBrewLocks(), 1u);
}

TEST_F(PmsetTool, AHolderEndsWhenLogindClosesItsLock) {
    setting.setSleepDisabled(true);
    const int pidfd = pidfdOf(*recordedHolder());
    logind->stop();
    EXPECT_TRUE(endsWithin(pidfd));
    ::close(pidfd);
}

TEST_F(PmsetTool, TheToolKilledWhileItWaitsLeavesAHolderThatTheNextWriteOfZeroEnds) {
    setInhibitDelay(1.5);
    // Stopped the way the helper stops a tool it gives up on: SIGKILL to its group.
    auto interrupt = std::make_shared<CommandInterrupt>();
    auto write = std::async(std::launch::async, [&] {
        return BoundedCommand::run(PMSET_TOOL, {"-a", "disablesleep", "1"}, 20, interrupt.get());
    });
    ASSERT_TRUE(eventually([&] { return inhibitCalls() == 1; })) << "the holder never asked logind";
    interrupt->interrupt();
    EXPECT_THROW(write.get(), CommandFailure);

    const auto holder = recordedHolder();
    ASSERT_TRUE(holder);
    const int pidfd = pidfdOf(*holder);
    ASSERT_GE(pidfd, 0) << "the holder survived the kill of the tool's group";
    EXPECT_TRUE(eventually([&] { return !locksOf(*holder).empty(); })) << "the late answer still gives the lock";
    EXPECT_TRUE(setting.isSleepDisabled());

    setInhibitDelay(0);
    setting.setSleepDisabled(false);
    EXPECT_TRUE(endsWithin(pidfd, 0ms));
    EXPECT_EQ(nightBrewLocks(), 0u);
    ::close(pidfd);
}

TEST_F(PmsetTool, AnotherProcesssLockReadsZeroAndOutlivesOurWrites) {
    struct Case {
        const char* name;
        const char* what;
        const char* who;
    };
    const std::vector<Case> cases = {
        {"another program's lid lock", "handle-lid-switch", "Some Lid Tool"},
        {"Night Brew's very lock, taken by another process", NightBrewLock::what, NightBrewLock::who},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const UniqueFd foreign = LogindBus().inhibit(c.what, c.who, "a test", "block");
        EXPECT_FALSE(setting.isSleepDisabled());
        setting.setSleepDisabled(true);
        EXPECT_TRUE(setting.isSleepDisabled());
        setting.setSleepDisabled(false);
        EXPECT_FALSE(setting.isSleepDisabled());
        const auto kept = locksOf(::getpid());
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept.front().what, c.what);
    }
}

// Another copy of the tool in hold mode, waiting for a go-ahead (on
// descriptor 3) that never comes: everything about it is a holder's but the
// program file.
struct ForeignHolder {
    static std::array<UniqueFd, 2> pairBeside(const fs::path& copy) {
        fs::copy_file(PMSET_TOOL, copy);
        int ends[2] = {-1, -1};
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
        return {UniqueFd(ends[0]), UniqueFd(ends[1])};
    }
    static testing::ChildOptions passing(int goAhead) {
        testing::ChildOptions options;
        options.passedDescriptor = goAhead;
        return options;
    }
    explicit ForeignHolder(const fs::path& copy)
        : goAhead(pairBeside(copy)), process({copy.string(), "--hold"}, passing(goAhead[1].get())) {}

    std::array<UniqueFd, 2> goAhead;
    testing::ChildProcess process;
};

TEST_F(PmsetTool, ARecordNamingAnythingButOurHolderIsNeverSignalledAndIsDropped) {
    const ForeignHolder foreign(directory.path() / "pmset");
    const int foreignPidfd = pidfdOf(foreign.process.pid());
    fs::create_directories("/run/staywake");
    for (const std::string& text :
         {std::to_string(foreign.process.pid()) + "\n", std::to_string(::getpid()), std::string("1\n"),
          std::string("-1\n"), std::string(" 12\n"), std::string("not a pid\n")}) {
        SCOPED_TRACE(text);
        std::ofstream(record) << text;
        EXPECT_FALSE(setting.isSleepDisabled());
        setting.setSleepDisabled(false);
        EXPECT_FALSE(fs::exists(record));
        EXPECT_FALSE(endsWithin(foreignPidfd, 0ms));

        std::ofstream(record) << text;
        setting.setSleepDisabled(true);
        EXPECT_NE(readFile(record), text);
        setting.setSleepDisabled(false);
    }
    ::close(foreignPidfd);
}

TEST_F(PmsetTool, RefusesARecordDirectoryOthersCanChangeAndASecondWriteAtOnce) {
    fs::create_directories("/run/staywake");
    fs::permissions("/run/staywake", fs::perms(0775));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-g"}, std::vector<std::string>{"-a", "disablesleep", "1"}}) {
        const auto run = runTool(arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, "pmset: will not keep the holder's process id in a directory others can change: "
                              "/run/staywake: Operation not permitted\n");
    }

    fs::permissions("/run/staywake", fs::perms(0755));
    const UniqueFd writing(::open("/run/staywake", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(writing.get(), LOCK_EX), 0);
    const auto run = runTool({"-a", "disablesleep", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "pmset: another pmset is changing the setting at this moment\n");
    EXPECT_EQ(inhibitCalls(), 0u);
}

class PmsetToolWithoutLogind : public PmsetTool {
protected:
    void SetUp() override { start(false); }
};

TEST_F(PmsetToolWithoutLogind, FailsWithOneLineAndStartsNoHolder) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-g"}, std::vector<std::string>{"-a", "disablesleep", "1"},
          std::vector<std::string>{"-a", "disablesleep", "0"}}) {
        const auto run = runTool(arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.output.starts_with("pmset: could not list logind's inhibitor locks: ")) << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    }
    EXPECT_FALSE(fs::exists(record));
    try {
        setting.setSleepDisabled(true);
        FAIL() << "a write without logind was confirmed";
    } catch (const SleepSettingWriteFailure& failure) {
        EXPECT_STREQ(failure.what(), "pmset exited 1");
    }
}

} // namespace
} // namespace staywake
