// The pmset tool run as a program against a private tree: systemctl works on
// the tree with --root and logind is never signalled, so nothing here touches
// the host's units.

#include "ZorIdiDurirad/PmsetOutput.h"
#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/SleepSettingWriteFailure.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace staywake {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> sleepTargets = {"sleep.target", "suspend.target", "hibernate.target",
                                               "hybrid-sleep.target", "suspend-then-hibernate.target"};
constexpr const char* dropIn = "run/systemd/logind.conf.d/50-staywake-lid.conf";

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

// Runs a program with its output and error in files (no pipe to fill up) and
// one variable added to the environment.
ToolRun runProgram(const std::string& program, const std::vector<std::string>& arguments, const fs::path& scratch,
               const std::string& environmentEntry) {
    const auto outputPath = scratch / "stdout";
    const auto errorPath = scratch / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> argvStorage = {program};
    argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argvStorage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environmentStorage = {environmentEntry};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!std::string_view(*entry).starts_with("STAYWAKE_PMSET_ROOT=")) {
            environmentStorage.emplace_back(*entry);
        }
    }
    std::vector<char*> environment;
    for (auto& entry : environmentStorage) {
        environment.push_back(entry.data());
    }
    environment.push_back(nullptr);

    pid_t pid = 0;
    ToolRun run;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "could not start " << program;
        return run;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.output = readFile(outputPath);
    run.error = readFile(errorPath);
    return run;
}

// A system tree with the distribution's sleep targets installed and nothing masked.
class PmsetTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "staywake-pmset-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        base = pattern;
        root = base / "root";
        fs::create_directories(root / "usr/lib/systemd/system");
        fs::create_directories(root / "etc/systemd/system");
        for (const auto& target : sleepTargets) {
            std::ofstream(root / "usr/lib/systemd/system" / target)
                << "[Unit]\nDescription=" << target << "\nDocumentation=man:systemd.special(7)\n";
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(base, ignored);
    }

    ToolRun pmset(const std::vector<std::string>& arguments) {
        return runProgram(PMSET_TOOL, arguments, base, "STAYWAKE_PMSET_ROOT=" + root.string());
    }

    // What the helper's parser reads out of `pmset -g`.
    SleepDisabledReading reading() {
        const auto run = pmset({"-g"});
        EXPECT_EQ(run.status, 0) << run.error;
        return PmsetOutput::sleepDisabled(run.output);
    }

    // Every link, file and its target or contents below the tree, except the
    // tool's own record folder.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const auto relative = fs::relative(entry.path(), root).string();
            if (entry.is_symlink()) {
                entries[relative] = "-> " + fs::read_symlink(entry.path()).string();
            } else if (entry.is_regular_file() && !relative.starts_with("run/staywake")) {
                entries[relative] = readFile(entry.path());
            }
        }
        return entries;
    }

    void maskByAdministrator(const std::string& target) {
        fs::create_symlink("/dev/null", root / "etc/systemd/system" / target);
    }

    fs::path base;
    fs::path root;
};

TEST_F(PmsetTool, ListsTheSettingInTheShapeTheHelperReads) {
    const auto run = pmset({"-g"});
    ASSERT_EQ(run.status, 0) << run.error;
    EXPECT_TRUE(run.output.starts_with("System-wide power settings:\n SleepDisabled\t\t0\nCurrently in use:\n"))
        << run.output;
    EXPECT_EQ(PmsetOutput::sleepDisabled(run.output), SleepDisabledReading::enabled());
    EXPECT_TRUE(run.error.empty()) << run.error;
}

TEST_F(PmsetTool, WritingOneMasksEverySleepTargetAndTellsLogindToIgnoreTheLid) {
    const auto before = snapshot();
    const auto run = pmset({"-a", "disablesleep", "1"});
    ASSERT_EQ(run.status, 0) << run.error;
    EXPECT_TRUE(run.output.empty());
    EXPECT_EQ(reading(), SleepDisabledReading::disabled());

    for (const auto& target : sleepTargets) {
        const auto mask = root / "run/systemd/system" / target;
        ASSERT_TRUE(fs::is_symlink(mask)) << target;
        EXPECT_EQ(fs::read_symlink(mask), "/dev/null") << target;
    }
    EXPECT_EQ(readFile(root / dropIn), "# Written by Staywake's pmset while sleep is disabled; removed with it.\n"
                                       "[Login]\n"
                                       "HandleLidSwitch=ignore\n"
                                       "HandleLidSwitchExternalPower=ignore\n"
                                       "HandleLidSwitchDocked=ignore\n");
    EXPECT_EQ(fs::status(root / dropIn).permissions(), fs::perms(0644));

    const auto restored = pmset({"-a", "disablesleep", "0"});
    ASSERT_EQ(restored.status, 0) << restored.error;
    EXPECT_EQ(reading(), SleepDisabledReading::enabled());
    EXPECT_EQ(snapshot(), before) << "writing 0 leaves the tree as it was before writing 1";
    EXPECT_FALSE(fs::exists(root / "run/staywake/pmset-masked-targets"));
}

TEST_F(PmsetTool, WritingOneTwiceIsUndoneByOneWriteOfZero) {
    const auto before = snapshot();
    ASSERT_EQ(pmset({"-a", "disablesleep", "1"}).status, 0);
    ASSERT_EQ(pmset({"-a", "disablesleep", "1"}).status, 0);
    EXPECT_EQ(reading(), SleepDisabledReading::disabled());
    ASSERT_EQ(pmset({"-a", "disablesleep", "0"}).status, 0);
    EXPECT_EQ(snapshot(), before);
    ASSERT_EQ(pmset({"-a", "disablesleep", "0"}).status, 0) << "writing 0 again changes nothing";
    EXPECT_EQ(snapshot(), before);
}

TEST_F(PmsetTool, AnAdministratorsMasksSurviveAndReadAsOne) {
    for (const auto& target : sleepTargets) {
        maskByAdministrator(target);
    }
    const auto before = snapshot();
    EXPECT_EQ(reading(), SleepDisabledReading::disabled());

    ASSERT_EQ(pmset({"-a", "disablesleep", "1"}).status, 0);
    EXPECT_FALSE(fs::exists(root / "run/systemd/system/sleep.target")) << "nothing left to mask";
    ASSERT_EQ(pmset({"-a", "disablesleep", "0"}).status, 0);

    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(reading(), SleepDisabledReading::disabled()) << "the tool cannot and does not undo them";
}

TEST_F(PmsetTool, MasksMadeByOthersAreLeftAloneWhileTheToolUndoesItsOwn) {
    maskByAdministrator("hibernate.target");
    fs::create_directories(root / "run/systemd/system");
    fs::create_symlink("/dev/null", root / "run/systemd/system/hybrid-sleep.target");
    const auto before = snapshot();
    EXPECT_EQ(reading(), SleepDisabledReading::enabled()) << "some targets masked is not sleep disabled";

    ASSERT_EQ(pmset({"-a", "disablesleep", "1"}).status, 0);
    EXPECT_EQ(reading(), SleepDisabledReading::disabled());
    EXPECT_FALSE(fs::exists(root / "run/systemd/system/hibernate.target"));
    EXPECT_EQ(readFile(root / "run/staywake/pmset-masked-targets"),
              "sleep.target\nsuspend.target\nsuspend-then-hibernate.target\n");

    ASSERT_EQ(pmset({"-a", "disablesleep", "0"}).status, 0);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(reading(), SleepDisabledReading::enabled());
}

TEST_F(PmsetTool, ATargetWithoutAUnitFileIsMaskedAndUnmaskedToo) {
    fs::remove(root / "usr/lib/systemd/system/suspend-then-hibernate.target");
    fs::remove(root / "usr/lib/systemd/system/sleep.target");
    const auto before = snapshot();
    const auto listing = pmset({"-g"});
    EXPECT_NE(listing.output.find(" suspend-then-hibernate.target\t\tnot-found\n"), std::string::npos)
        << listing.output;
    EXPECT_NE(listing.output.find(" suspend.target\t\tstatic\n"), std::string::npos) << listing.output;

    ASSERT_EQ(pmset({"-a", "disablesleep", "1"}).status, 0);
    EXPECT_EQ(reading(), SleepDisabledReading::disabled());
    ASSERT_EQ(pmset({"-a", "disablesleep", "0"}).status, 0);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(PmsetTool, TheRecordNeverMakesItUnmaskAnythingButSleepTargets) {
    fs::create_directories(root / "run/staywake");
    fs::create_directories(root / "run/systemd/system");
    fs::create_symlink("/dev/null", root / "run/systemd/system/getty.target");
    std::ofstream(root / "run/staywake/pmset-masked-targets") << "getty.target\n../../etc/passwd\n";
    ASSERT_EQ(pmset({"-a", "disablesleep", "0"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(root / "run/systemd/system/getty.target"));
}

// The helper's own sleep setting, run against the tool as the helper runs it.
class HelperSettingThroughTheTool : public PmsetTool {
protected:
    void SetUp() override {
        PmsetTool::SetUp();
        ::setenv("STAYWAKE_PMSET_ROOT", root.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("STAYWAKE_PMSET_ROOT");
        PmsetTool::TearDown();
    }

    // Generous limits: the tests run in parallel and under sanitizers.
    PmsetSleepSetting setting{[this](const std::string& line) { logged.push_back(line); }, 20, 20, nullptr,
                              PMSET_TOOL};
    std::vector<std::string> logged;
};

TEST_F(HelperSettingThroughTheTool, WritesConfirmsAndRestores) {
    const auto before = snapshot();
    EXPECT_FALSE(setting.isSleepDisabled());
    setting.setSleepDisabled(true);
    EXPECT_TRUE(setting.isSleepDisabled());
    setting.setSleepDisabled(false);
    EXPECT_FALSE(setting.isSleepDisabled());
    EXPECT_EQ(logged, (std::vector<std::string>{"wrote disablesleep 1, and read it back",
                                                "wrote disablesleep 0, and read it back"}));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(HelperSettingThroughTheTool, AnAdministratorsMasksAreSleepDisabledElsewhere) {
    for (const auto& target : sleepTargets) {
        maskByAdministrator(target);
    }
    EXPECT_TRUE(setting.isSleepDisabled());
    try {
        setting.setSleepDisabled(false);
        FAIL() << "writing 0 over an administrator's masks was confirmed";
    } catch (const SleepSettingWriteFailure& failure) {
        EXPECT_STREQ(failure.what(), "asked for disablesleep 0, read back 1");
    }
    EXPECT_TRUE(logged.empty());
}

TEST_F(PmsetTool, RefusesOtherArgumentsWithItsUsageAndChangesNothing) {
    const auto before = snapshot();
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
    };
    for (const auto& arguments : refused) {
        const auto run = pmset(arguments);
        std::string shown;
        for (const auto& argument : arguments) {
            shown += " '" + argument + "'";
        }
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.error, "usage: pmset -g | pmset -a disablesleep 1|0\n") << shown;
        EXPECT_TRUE(run.output.empty()) << shown;
    }
    EXPECT_EQ(snapshot(), before);
}

TEST_F(PmsetTool, AFailedWriteSaysWhyAndMasksNothing) {
    // A file where the drop-in's directory belongs: the drop-in cannot be written.
    fs::create_directories(root / "run/systemd");
    std::ofstream(root / "run/systemd/logind.conf.d") << "in the way\n";
    const auto run = pmset({"-a", "disablesleep", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.error.starts_with("pmset: could not make the directory " + (root / "run/systemd/logind.conf.d").string()))
        << run.error;
    EXPECT_FALSE(fs::exists(root / "run/systemd/system/sleep.target"));
    EXPECT_EQ(reading(), SleepDisabledReading::enabled());
}

TEST_F(PmsetTool, RefusesARootOverrideThatIsNoDirectory) {
    for (const std::string& value : std::vector<std::string>{"relative/root", (base / "absent").string()}) {
        const auto run = runProgram(PMSET_TOOL, {"-g"}, base, "STAYWAKE_PMSET_ROOT=" + value);
        EXPECT_EQ(run.status, 1) << value;
        EXPECT_EQ(run.error, "pmset: STAYWAKE_PMSET_ROOT must name an existing directory by its absolute path, not \"" +
                                 value + "\"\n");
        EXPECT_TRUE(run.output.empty());
    }
}

} // namespace
} // namespace staywake
