// The pmset tool run as the helper runs it, against a mocked logind, in a /run private to the test.
#include "StaywakeCore/LidHelper/LidSleepLease.h"
#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/MockBusLauncher.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"
#include "ZorIdiDurirad/CommandFailure.h"
#include "ZorIdiDurirad/CommandInterrupt.h"
#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/SleepSettingFailures.h"
#include "pmset/InhibitorLock.h"
#include "pmset/LogindBus.h"

#include <sys/file.h>
#include <sys/socket.h>

#include <fstream>
#include <future>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::endsWithin;
using testing::eventually;
using testing::pidfdOf;

const fs::path record = "/run/staywake/pmset-holder.pid";

/// How many locks logind lists as Night Brew's, whoever holds them.
std::size_t nightBrewLocks() {
    return static_cast<std::size_t>(std::ranges::count_if(LogindBus().inhibitors(), [](const InhibitorLock& lock) {
        return lock.who == NightBrewLock::who && lock.what == NightBrewLock::what;
    }));
}

// The tool's status and what it printed on either output, which is one line.
std::string refusalOf(const std::vector<std::string>& arguments) {
    std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" 2>&1", PMSET_TOOL};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    const auto run = BoundedCommand::run("/bin/sh", shell, 20);
    EXPECT_EQ(std::ranges::count(run.output, '\n'), 1) << run.output;
    return std::to_string(run.status) + " " + run.output;
}

// The mocked logind's address is the tool's (and its holder's) by inheritance.
class PmsetTool : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto why = testing::privateRunIsOutOfReach()) {
            STAYWAKE_SKIP(*why);
        }
        fs::create_directories(directory.path() / "run");
        ASSERT_EQ(testing::enterPrivateRun((directory.path() / "run").c_str()), 0);
        logind.emplace(testing::MockBuses::Options{.logind = withLogind, .upower = false, .portal = false});
        if (logind->isMissingATool()) {
            STAYWAKE_SKIP(logind->failure());
        }
        ASSERT_EQ(logind->failure(), "");
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", logind->systemAddress().c_str(), 1);
    }
    void TearDown() override {
        logind.reset(); // every holder sees its lock closed and exits
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

    std::string logindControl(const std::vector<std::string>& call) const {
        return logind->control("org.freedesktop.login1", "/org/freedesktop/login1", call);
    }
    std::size_t inhibitCalls() const {
        const auto reply = logindControl({"GetMethodCalls", "s", "Inhibit"}); // "a(tav) 2 ..."
        return std::stoul(reply.substr(reply.find(' ') + 1));
    }
    static pid_t recordedHolder() {
        const std::string text = testing::readFile(record);
        return text.empty() ? 0 : std::stoi(text);
    }
    static std::size_t locksOf(pid_t pid) {
        const auto locks = LogindBus().inhibitors();
        return static_cast<std::size_t>(std::ranges::count(locks, pid, &InhibitorLock::pid));
    }

    bool withLogind = true;
    testing::TemporaryDirectory directory{"staywake-pmset"};
    std::optional<testing::MockBuses> logind;
    // The helper's own budgets, which only the first case holds the tool to, and a sanitized build not at all.
    static constexpr double slowdown = testing::isSanitized ? 8 : 1;
    PmsetSleepSetting helpers{nullptr, LidSleepLease::writeTimeout* slowdown, LidSleepLease::readTimeout* slowdown,
                              nullptr, PMSET_TOOL};
    PmsetSleepSetting setting{nullptr, LidSleepLease::writeTimeout * 8, LidSleepLease::readTimeout * 8, nullptr,
                              PMSET_TOOL};
};

TEST_F(PmsetTool, HoldsOneNightBrewLockWhileSleepIsDisabledWithinTheHelpersBudgetAndAKilledOneReadsZero) {
    EXPECT_FALSE(helpers.isSleepDisabled());
    helpers.setSleepDisabled(true);
    const pid_t holder = recordedHolder();
    ASSERT_NE(holder, 0);
    helpers.setSleepDisabled(true);
    EXPECT_EQ(recordedHolder(), holder) << "a second 1 starts no second holder";
    // What logind lists, in busctl's words rather than the tool's own reader.
    const auto listing =
        BoundedCommand::run("/usr/bin/busctl",
                            {"--address=" + logind->systemAddress(), "call", "org.freedesktop.login1",
                             "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "ListInhibitors"},
                            20);
    EXPECT_EQ(listing.output,
              "a(ssssuu) 1 \"sleep:idle:handle-lid-switch\" \"Staywake Night Brew\" \"Night Brew keeps "
              "the computer awake with its lid closed while the Staywake app holds a lease\" \"block\" 0 " +
                  std::to_string(holder) + "\n");
    // Its own session and group, out of reach of a kill of the tool's group.
    EXPECT_EQ(::getsid(holder), holder);
    EXPECT_EQ(::getpgid(holder), holder);
    EXPECT_TRUE(helpers.isSleepDisabled());

    const int holderPidfd = pidfdOf(holder);
    helpers.setSleepDisabled(false);
    EXPECT_FALSE(helpers.isSleepDisabled());
    EXPECT_EQ(nightBrewLocks(), 0u);
    EXPECT_TRUE(endsWithin(holderPidfd, 0ms)) << "the holder is gone once the write returns";
    EXPECT_FALSE(fs::exists(record));
    ::close(holderPidfd);

    // A killed holder reads 0; the next write starts another, which ends when logind closes its lock.
    setting.setSleepDisabled(true);
    const pid_t killed = recordedHolder();
    const int killedPidfd = pidfdOf(killed);
    ASSERT_EQ(::kill(killed, SIGKILL), 0);
    ASSERT_TRUE(endsWithin(killedPidfd));
    ::close(killedPidfd);
    EXPECT_FALSE(setting.isSleepDisabled());
    setting.setSleepDisabled(true);
    EXPECT_NE(recordedHolder(), killed);
    EXPECT_EQ(nightBrewLocks(), 1u);
    const int next = pidfdOf(recordedHolder());
    logind->stop();
    EXPECT_TRUE(endsWithin(next));
    ::close(next);
}

TEST_F(PmsetTool, TheToolKilledWhileItWaitsLeavesAHolderThatTheNextWriteOfZeroEnds) {
    logindControl({"SetInhibitDelay", "d", "1.5"});
    // Stopped the way the helper stops a tool it gives up on: SIGKILL to its group.
    auto interrupt = std::make_shared<CommandInterrupt>();
    auto write = std::async(std::launch::async, [&] {
        return BoundedCommand::run(PMSET_TOOL, {"-a", "disablesleep", "1"}, 20, interrupt.get());
    });
    ASSERT_TRUE(eventually([&] { return inhibitCalls() == 1; })) << "the holder never asked logind";
    interrupt->interrupt();
    EXPECT_THROW(write.get(), CommandFailure);

    const int pidfd = pidfdOf(recordedHolder());
    ASSERT_GE(pidfd, 0) << "the holder survived the kill of the tool's group";
    EXPECT_TRUE(eventually([&] { return locksOf(recordedHolder()) == 1; })) << "the late answer gives the lock";
    EXPECT_TRUE(setting.isSleepDisabled());
    logindControl({"SetInhibitDelay", "d", "0"});
    setting.setSleepDisabled(false);
    EXPECT_TRUE(endsWithin(pidfd, 0ms));
    EXPECT_EQ(nightBrewLocks(), 0u);
    ::close(pidfd);
}

TEST_F(PmsetTool, AnotherProcesssLockReadsZeroAndOutlivesOurWrites) {
    for (const auto& [what, who] : std::vector<std::pair<std::string, std::string>>{
             {"handle-lid-switch", "Some Lid Tool"}, {NightBrewLock::what, NightBrewLock::who}}) {
        SCOPED_TRACE(who);
        const UniqueFd foreign = LogindBus().inhibit(what, who, "a test", "block");
        EXPECT_FALSE(setting.isSleepDisabled());
        setting.setSleepDisabled(true);
        setting.setSleepDisabled(false);
        EXPECT_FALSE(setting.isSleepDisabled());
        EXPECT_EQ(locksOf(::getpid()), 1u);
    }
}

TEST_F(PmsetTool, ARecordNamingAnythingButOurHolderIsNeverSignalledAndIsDropped) {
    // Another copy of the tool in hold mode, waiting for a go-ahead on
    // descriptor 3 that never comes: everything is a holder's but the file.
    fs::copy_file(PMSET_TOOL, directory.path() / "pmset");
    int goAhead[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, goAhead), 0);
    testing::ChildOptions options;
    options.passedDescriptor = goAhead[1];
    testing::ChildProcess foreign({(directory.path() / "pmset").string(), "--hold"}, options);
    const int foreignPidfd = pidfdOf(foreign.pid());
    fs::create_directories(record.parent_path());
    for (const std::string& text : {std::to_string(foreign.pid()) + "\n", std::to_string(::getpid()),
                                    std::string("-1\n"), std::string("x\n")}) {
        SCOPED_TRACE(text);
        std::ofstream(record) << text;
        EXPECT_FALSE(setting.isSleepDisabled());
        setting.setSleepDisabled(false);
        EXPECT_FALSE(fs::exists(record));
        EXPECT_FALSE(endsWithin(foreignPidfd, 0ms));
        std::ofstream(record) << text;
        setting.setSleepDisabled(true);
        EXPECT_NE(testing::readFile(record), text);
        setting.setSleepDisabled(false);
    }
    ::close(foreignPidfd);
    ::close(goAhead[0]);
    ::close(goAhead[1]);
}

// Which argument lists parse is the parser fuzzer's to check; this is the answer to the rest, and the refusals.
TEST_F(PmsetTool, RefusesWithOneLineAndAsksLogindNothing) {
    EXPECT_EQ(refusalOf({"-a", "disablesleep", "2"}), "2 usage: pmset -g | pmset -a disablesleep 1|0\n");
    EXPECT_EQ(refusalOf({"--hold"}), "2 pmset: --hold is how pmset starts its own lock holder, not a command\n");
    fs::create_directories(record.parent_path());
    fs::permissions(record.parent_path(), fs::perms(0775));
    EXPECT_EQ(refusalOf({"-g"}),
              "1 pmset: will not keep the holder's process id in a directory others can change: "
              "/run/staywake: Operation not permitted\n");
    fs::permissions(record.parent_path(), fs::perms(0755));
    {
        const UniqueFd writing(::open(record.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_EQ(::flock(writing.get(), LOCK_EX), 0);
        EXPECT_EQ(refusalOf({"-a", "disablesleep", "1"}),
                  "1 pmset: another pmset is changing the setting at this moment\n");
    }
    EXPECT_EQ(inhibitCalls(), 0u);
}

struct PmsetToolWithoutLogind : PmsetTool {
    PmsetToolWithoutLogind() { withLogind = false; }
};

TEST_F(PmsetToolWithoutLogind, FailsWithOneLineAndStartsNoHolder) {
    for (const auto& arguments : {std::vector<std::string>{"-g"}, {"-a", "disablesleep", "0"}}) {
        EXPECT_TRUE(refusalOf(arguments).starts_with("1 pmset: could not list logind's inhibitor locks: "));
    }
    EXPECT_THROW(setting.setSleepDisabled(true), SleepSettingWriteFailure);
    EXPECT_FALSE(fs::exists(record));
}

} // namespace
} // namespace staywake
