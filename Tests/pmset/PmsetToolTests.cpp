// The pmset tool run as a program, as the helper runs it, against a mocked
// logind on a private system bus, with /run private to the test so that the
// host's /run/staywake is never touched.

#include "MockLogind.h"
#include "StaywakeCore/LidHelper/LidSleepLease.h"
#include "StaywakeLinux/Journal/PrivateRun.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"
#include "ZorIdiDurirad/CommandFailure.h"
#include "ZorIdiDurirad/CommandInterrupt.h"
#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/SleepSettingWriteFailure.h"
#include "pmset/InhibitorLock.h"
#include "pmset/LogindBus.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <sstream>

extern char** environ;

namespace staywake {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path record = "/run/staywake/pmset-holder.pid";

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct ToolRun {
    int status = -1;
    std::string output;
    std::string error;
};

// The tool with its standard error kept, which the bounded runner drops.
ToolRun runTool(const std::vector<std::string>& arguments, const fs::path& scratch) {
    const auto outputPath = scratch / "stdout";
    const auto errorPath = scratch / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    std::vector<std::string> storage = {PMSET_TOOL};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    ToolRun run;
    const int spawned = ::posix_spawn(&pid, PMSET_TOOL, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "could not start " << PMSET_TOOL;
        return run;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.output = readFile(outputPath);
    run.error = readFile(errorPath);
    return run;
}

testing::TemporaryDirectory& scratchDirectory() {
    static testing::TemporaryDirectory directory("staywake-pmset");
    return directory;
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
        const auto run = runTool(arguments, scratchDirectory().path());
        std::string shown;
        for (const auto& argument : arguments) {
            shown += " '" + argument + "'";
        }
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.error, "usage: pmset -g | pmset -a disablesleep 1|0\n") << shown;
        EXPECT_TRUE(run.output.empty()) << shown;
    }
}

TEST(PmsetArguments, TheHoldModeIsNotACommandOfItsOwn) {
    const auto run = runTool({"--hold"}, scratchDirectory().path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.error, "pmset: --hold is how pmset starts its own lock holder, not a command\n");
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
        if (::geteuid() != 0) {
            STAYWAKE_SKIP("pmset keeps its holder's record in a root-owned /run/staywake; its tests run as root");
        }
        std::string why;
        if (!testing::canEnterPrivateRun(why)) {
            STAYWAKE_SKIP(why);
        }
        fs::create_directories(directory.path() / "run");
        ASSERT_EQ(testing::enterPrivateRun((directory.path() / "run").c_str()), 0);
        logind.emplace(withLogind);
        if (logind->isMissingATool()) {
            STAYWAKE_SKIP(logind->failure());
        }
        ASSERT_EQ(logind->failure(), "");
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", logind->systemAddress().c_str(), 1);
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

    static std::size_t nightBrewLocks() {
        std::size_t count = 0;
        for (const auto& lock : LogindBus().inhibitors()) {
            count += lock.who == NightBrewLock::who ? 1 : 0;
        }
        return count;
    }

    static int pidfdOf(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

    double timed(bool disable) {
        const auto start = std::chrono::steady_clock::now();
        setting.setSleepDisabled(disable);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    testing::TemporaryDirectory directory{"staywake-pmset"};
    std::optional<testing::MockLogind> logind;
    std::vector<std::string> logged;
    // The helper's own budgets: 1 s for a write with its read-back, 0.25 s for a read.
    PmsetSleepSetting setting{[this](const std::string& line) { logged.push_back(line); }, LidSleepLease::writeTimeout,
                              LidSleepLease::readTimeout, nullptr, PMSET_TOOL};
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
    const auto listing = BoundedCommand::run(
        "/usr/bin/busctl",
        {"--address=" + logind->systemAddress(), "call", "org.freedesktop.login1", "/org/freedesktop/login1",
         "org.freedesktop.login1.Manager", "ListInhibitors"},
        20);
    EXPECT_EQ(listing.output, "a(ssssuu) 1 \"sleep:idle:handle-lid-switch\" \"Staywake Night Brew\" \"Night Brew keeps "
                              "the computer awake with its lid closed while the Staywake app holds a lease\" \"block\" 0 " +
                                  std::to_string(*holder) + "\n");
    // Its own session and group, out of reach of a kill of the tool's group.
    EXPECT_EQ(::getsid(*holder), *holder);
    EXPECT_EQ(::getpgid(*holder), *holder);
    const int holderPidfd = pidfdOf(*holder);

    const auto listed = runTool({"-g"}, directory.path());
    EXPECT_EQ(listed.output, "System-wide power settings:\n SleepDisabled\t\t1\nCurrently in use:\n holder\t\tprocess " +
                                 std::to_string(*holder) +
                                 "\n lock\t\tblock sleep:idle:handle-lid-switch, listed by logind\n");

    const double restoring = timed(false);
    std::cout << "disablesleep 0 written and read back in " << restoring * 1000 << " ms\n";
    EXPECT_FALSE(setting.isSleepDisabled());
    EXPECT_EQ(nightBrewLocks(), 0u);
    EXPECT_TRUE(testing::endsWithin(holderPidfd, 0ms)) << "the holder is gone once the write returns";
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
    ASSERT_TRUE(testing::endsWithin(pidfd));
    ::close(pidfd);
    EXPECT_FALSE(setting.isSleepDisabled());
    EXPECT_TRUE(testing::eventually([&] { return locksOf(killed).empty(); })) << "logind drops a lock whose pipe closed";

    setting.setSleepDisabled(true);
    EXPECT_NE(recordedHolder(), killed);
    EXPECT_EQ(nightBrewLocks(), 1u);
}

TEST_F(PmsetTool, AHolderEndsWhenLogindClosesItsLock) {
    setting.setSleepDisabled(true);
    const int pidfd = pidfdOf(*recordedHolder());
    logind->stop();
    EXPECT_TRUE(testing::endsWithin(pidfd));
    ::close(pidfd);
}

TEST_F(PmsetTool, TheToolKilledWhileItWaitsLeavesAHolderThatTheNextWriteOfZeroEnds) {
    logind->setInhibitDelay(1.5);
    // Stopped the way the helper stops a tool it gives up on: SIGKILL to its group.
    auto interrupt = std::make_shared<CommandInterrupt>();
    auto write = std::async(std::launch::async, [&] {
        return BoundedCommand::run(PMSET_TOOL, {"-a", "disablesleep", "1"}, 20, interrupt.get());
    });
    ASSERT_TRUE(testing::eventually([&] { return logind->inhibitCalls() == 1; })) << "the holder never asked logind";
    interrupt->interrupt();
    EXPECT_THROW(write.get(), CommandFailure);

    const auto holder = recordedHolder();
    ASSERT_TRUE(holder);
    const int pidfd = pidfdOf(*holder);
    ASSERT_GE(pidfd, 0) << "the holder survived the kill of the tool's group";
    EXPECT_TRUE(testing::eventually([&] { return !locksOf(*holder).empty(); })) << "the late answer still gives the lock";
    EXPECT_TRUE(setting.isSleepDisabled());

    logind->setInhibitDelay(0);
    setting.setSleepDisabled(false);
    EXPECT_TRUE(testing::endsWithin(pidfd, 0ms));
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

// A process of no concern to pmset, gone with the object.
class Bystander {
public:
    Bystander() {
        std::string program = "/bin/sleep";
        std::string seconds = "1000";
        char* argv[] = {program.data(), seconds.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    }
    Bystander(const Bystander&) = delete;
    Bystander& operator=(const Bystander&) = delete;
    ~Bystander() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ::close(pidfd);
    }

    pid_t pid = -1;
    int pidfd = -1;
};

TEST_F(PmsetTool, ARecordNamingAnythingButOurHolderIsNeverSignalledAndIsDropped) {
    const Bystander bystander;
    ASSERT_GE(bystander.pidfd, 0);
    fs::create_directories("/run/staywake");
    for (const std::string& text : {std::to_string(bystander.pid) + "\n", std::to_string(::getpid()),
                                    std::string("1\n"), std::string("-1\n"), std::string(" 12\n"),
                                    std::string("not a pid\n")}) {
        SCOPED_TRACE(text);
        std::ofstream(record) << text;
        EXPECT_FALSE(setting.isSleepDisabled());
        setting.setSleepDisabled(false);
        EXPECT_FALSE(fs::exists(record));
        EXPECT_FALSE(testing::endsWithin(bystander.pidfd, 0ms));

        std::ofstream(record) << text;
        setting.setSleepDisabled(true);
        EXPECT_NE(readFile(record), text);
        setting.setSleepDisabled(false);
    }
}

TEST_F(PmsetTool, RefusesARecordDirectoryOthersCanChange) {
    fs::create_directories("/run/staywake");
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"writable by its group", [] { fs::permissions("/run/staywake", fs::perms(0775)); }},
        {"owned by someone else", [] { ASSERT_EQ(::chown("/run/staywake", 65534, 65534), 0); }},
    };
    for (const auto& [name, change] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all("/run/staywake");
        fs::create_directories("/run/staywake");
        fs::permissions("/run/staywake", fs::perms(0755));
        change();
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"-g"}, std::vector<std::string>{"-a", "disablesleep", "1"}}) {
            const auto run = runTool(arguments, directory.path());
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.error, "pmset: will not keep the holder's process id in a directory others can change: "
                                 "/run/staywake: Operation not permitted\n");
        }
        EXPECT_EQ(logind->inhibitCalls(), 0u);
    }
}

class PmsetToolWithoutLogind : public PmsetTool {
protected:
    void SetUp() override { start(false); }
};

TEST_F(PmsetToolWithoutLogind, FailsWithOneLineAndStartsNoHolder) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-g"}, std::vector<std::string>{"-a", "disablesleep", "1"},
          std::vector<std::string>{"-a", "disablesleep", "0"}}) {
        const auto run = runTool(arguments, directory.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.error.starts_with("pmset: could not list logind's inhibitor locks: ")) << run.error;
        EXPECT_EQ(std::count(run.error.begin(), run.error.end(), '\n'), 1) << run.error;
        EXPECT_TRUE(run.output.empty());
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
