#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "ZorIdiDurirad/BoundedCommand.h"
#include "ZorIdiDurirad/CommandFailure.h"
#include "ZorIdiDurirad/PmsetSleepSetting.h"
#include "ZorIdiDurirad/PmsetToolPath.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace staywake {
namespace {

namespace fs = std::filesystem;

// The production setting running the lid helper tests' fake pmset (see its
// header for the pmset.* files that steer it) through the real runner.
class PmsetSleepSettingTest : public testing::ChildProcessTest {
protected:
    void reset(const std::vector<std::pair<std::string, std::string>>& files) const {
        for (const auto& entry : fs::directory_iterator(directory.path())) {
            if (entry.path() != tool) {
                fs::remove(entry.path());
            }
        }
        for (const auto& [name, contents] : files) {
            testing::writeFile(directory.path() / name, contents);
        }
    }

    std::vector<std::string> calls() const {
        std::vector<std::string> lines;
        std::istringstream text(testing::readFile(directory.path() / "pmset.calls"));
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line.substr(line.find(' ') + 1)); // after the time
        }
        return lines;
    }

    testing::TemporaryDirectory directory;
    fs::path tool = directory.path() / "pmset";
    std::vector<std::string> logged;
    PmsetSleepSetting::Log log = [this](const std::string& line) { logged.push_back(line); };
};

TEST_F(PmsetSleepSettingTest, ReadsAndWritesWithReadBackThroughTheTool) {
    fs::copy_file(STAYWAKE_FAKE_PMSET, tool);
    const std::string notPmset = "pmset -g established nothing about the setting: no SleepDisabled line, and no "
                                 "\"Currently in use:\" \xE2\x80\x94 this is not pmset -g output";
    const std::vector<std::string> read = {"-g"};
    const std::vector<std::string> write1 = {"-a disablesleep 1", "-g"};
    const struct {
        std::vector<std::pair<std::string, std::string>> files;
        int write;           // -1: a read
        std::string outcome; // a read's value, or what failed; "" for a confirmed write
        std::vector<std::string> calls;
    } cases[] = {
        {{{"pmset.state", "1"}}, -1, "1", read},
        {{{"pmset.state", "0"}}, -1, "0", read},
        {{{"pmset.read-mode", "exit 2"}}, -1, "pmset -g exited 2", read},
        {{{"pmset.read-mode", "print Segmentation fault\\n"}}, -1, notPmset, read},
        {{{"pmset.read-mode", "hang"}}, -1, "pmset -g did not finish within 0.25 s and was stopped", read},
        {{{"pmset.state", "0"}}, 1, "", write1},
        {{{"pmset.state", "1"}}, 0, "", {"-a disablesleep 0", "-g"}},
        {{{"pmset.write-1-mode", "exit 1"}}, 1, "pmset exited 1", {"-a disablesleep 1"}},
        {{{"pmset.read-mode", "exit 3"}}, 1, "pmset -g exited 3, so the setting was never read back", write1},
        {{{"pmset.write-1-mode", "ignore"}}, 1, "asked for disablesleep 1, read back 0", write1},
        // A write that used its whole budget is not read back.
        {{{"pmset.write-1-mode", "hang"}},
         1,
         "pmset -a disablesleep 1 did not finish within 1 s and was stopped",
         {"-a disablesleep 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls.front() + " " + c.files.front().second);
        reset(c.files);
        logged.clear();
        PmsetSleepSetting setting(log, 1.0, 0.25, nullptr, tool);
        std::string outcome;
        try {
            if (c.write < 0) {
                outcome = setting.isSleepDisabled() ? "1" : "0";
            } else {
                setting.setSleepDisabled(c.write == 1);
            }
        } catch (const std::exception& failure) {
            outcome = failure.what();
        }
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(calls(), c.calls);
        const bool confirmed = c.write >= 0 && c.outcome.empty();
        EXPECT_EQ(logged, confirmed ? std::vector<std::string>{"wrote disablesleep " + std::to_string(c.write) +
                                                               ", and read it back"}
                                    : std::vector<std::string>{});
    }
    fs::remove(tool);
    EXPECT_THROW(PmsetSleepSetting(log, 1.0, 0.25, nullptr, tool).setSleepDisabled(true), CommandLaunchError);
}

TEST_F(PmsetSleepSettingTest, ReadBackGetsWhatTheWriteLeftOfTheBudget) {
    // The clock moves by the write's time at each reading: start, then after
    // the write. The read limit plays no part in a write.
    for (const auto& [took, readBackLimit] :
         std::vector<std::pair<double, double>>{{0.0, 1.0}, {0.375, 0.625}, {1.0, 0.0}, {1.5, 0.0}}) {
        const double writeTook = took; // a lambda may not capture a structured binding in clang 14
        SCOPED_TRACE(writeTook);
        std::vector<double> limits;
        double now = 100;
        PmsetSleepSetting setting(
            log, 1.0, 7.0, [&] { return std::exchange(now, now + writeTook); },
            [&](const std::string&, const std::vector<std::string>& arguments, double limit) {
                limits.push_back(limit);
                return BoundedCommand::Result{0, arguments.front() == "-g" ? "SleepDisabled 1\n" : ""};
            },
            "pmset");
        setting.setSleepDisabled(true);
        EXPECT_EQ(limits, (std::vector<double>{1.0, readBackLimit}));
    }
}

TEST(PmsetToolPath, IsThePmsetBesideTheRunningExecutable) {
    EXPECT_EQ(pmsetPathBeside("/opt/Staywake.app/Contents/Helpers/StaywakeLidHelper"),
              "/opt/Staywake.app/Contents/Helpers/pmset");
    // A helper whose file an update replaced still finds the bundle's tool.
    EXPECT_EQ(pmsetPathBeside("/opt/Staywake.app/Contents/Helpers/StaywakeLidHelper (deleted)"),
              "/opt/Staywake.app/Contents/Helpers/pmset");
    EXPECT_EQ(defaultPmsetPath(), (fs::read_symlink("/proc/self/exe").parent_path() / "pmset").string());
}

} // namespace
} // namespace staywake
