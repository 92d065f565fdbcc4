#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeCore/Identity/LidHelperFileWatch.h"
#include "StaywakeCore/Identity/ProgramFileInspector.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace staywake {
namespace {

using Finding = LidHelperFileWatch::Finding;
using Identity = LidHelperFileWatch::Identity;

constexpr const char* helperPath = "/usr/lib/staywake/Staywake.app/Contents/Helpers/StaywakeLidHelper";
const std::string runningHash = "1111111111111111111111111111111111111111";
const std::string otherHash = "2222222222222222222222222222222222222222";
const LidHelperFileWatch::File startedFrom{.device = 2049, .inode = 100};
const Identity runningIdentity{
    .device = 2049, .inode = 100, .size = 4096, .modifiedSeconds = 1700000000, .modifiedNanoseconds = 5};

// A program file that tests change underneath the watch; counts the judgements.
struct FakeProgramFile {
    std::optional<Identity> identity = runningIdentity;
    std::optional<std::string> hash = runningHash;
    int judgements = 0;

    LidHelperFileWatch watch() {
        return LidHelperFileWatch(
            helperPath, startedFrom, runningHash, [this](const std::string&) { return identity; },
            [this](const std::string&) {
                ++judgements;
                return hash;
            });
    }
};

TEST(LidHelperFileWatch, ClassifiesWhatIsAtThePath) {
    const struct {
        const char* name;
        std::optional<Identity> identity;
        std::optional<std::string> hash;
        Finding expected;
    } cases[] = {
        {"the running file", runningIdentity, runningHash, Finding::running()},
        {"the running file rewritten in place", Identity{2049, 100, 4096, 1700000001, 0}, runningHash,
         Finding::running()},
        {"another build", Identity{2049, 200, 8192, 1700000100, 0}, otherHash, Finding::replaced(otherHash)},
        {"an identical copy at a new inode", Identity{2049, 200, 4096, 1700000100, 0}, runningHash,
         Finding::replaced(runningHash)},
        {"the same inode on another device", Identity{2050, 100, 4096, 1700000000, 5}, runningHash,
         Finding::replaced(runningHash)},
        {"another build written into the same inode", Identity{2049, 100, 8192, 1700000100, 0}, otherHash,
         Finding::replaced(otherHash)},
        {"nothing there", std::nullopt, runningHash, Finding::missing()},
        {"an untrusted file", Identity{2049, 300, 10, 1700000100, 0}, std::nullopt, Finding::unrecognised()},
    };
    for (const auto& c : cases) {
        FakeProgramFile file{.identity = c.identity, .hash = c.hash};
        auto watch = file.watch();
        EXPECT_EQ(watch.look().finding, c.expected) << c.name;
    }
}

TEST(LidHelperFileWatch, JudgesAgainOnlyWhenTheIdentityChangesAndReportsOnlyChangesOfFinding) {
    FakeProgramFile file;
    auto watch = file.watch();
    EXPECT_TRUE(watch.look().changed) << "the first finding";
    const auto again = watch.look();
    EXPECT_EQ(again.finding, Finding::running());
    EXPECT_FALSE(again.changed);
    EXPECT_EQ(file.judgements, 1) << "an unchanged file is judged once";

    file.identity = Identity{2049, 200, 8192, 1700000100, 0};
    file.hash = otherHash;
    auto look = watch.look();
    EXPECT_EQ(look.finding, Finding::replaced(otherHash));
    EXPECT_TRUE(look.changed);
    EXPECT_EQ(file.judgements, 2);

    // Each of the five fields counts.
    const Identity changes[] = {{2050, 200, 8192, 1700000100, 0},
                                {2050, 201, 8192, 1700000100, 0},
                                {2050, 201, 8193, 1700000100, 0},
                                {2050, 201, 8193, 1700000101, 0},
                                {2050, 201, 8193, 1700000101, 1}};
    int expectedJudgements = 2;
    for (const auto& identity : changes) {
        file.identity = identity;
        watch.look();
        EXPECT_EQ(file.judgements, ++expectedJudgements);
        look = watch.look();
        EXPECT_EQ(file.judgements, expectedJudgements);
        EXPECT_FALSE(look.changed) << "the same hash at a new identity is the same finding";
    }
    file.identity = Identity{2049, 300, 8192, 1700000200, 0};
    file.hash = "3333333333333333333333333333333333333333";
    look = watch.look();
    EXPECT_EQ(look.finding, Finding::replaced(*file.hash));
    EXPECT_TRUE(look.changed) << "another build replacing another build";
}

TEST(LidHelperFileWatch, AFileThatComesBackUnchangedKeepsItsEarlierJudgement) {
    FakeProgramFile file;
    file.identity = Identity{2049, 200, 8192, 1700000100, 0};
    file.hash = otherHash;
    auto watch = file.watch();
    EXPECT_EQ(watch.look().finding, Finding::replaced(otherHash));

    file.identity = std::nullopt;
    auto look = watch.look();
    EXPECT_EQ(look.finding, Finding::missing());
    EXPECT_TRUE(look.changed);
    EXPECT_FALSE(watch.look().changed) << "a missing file is reported once";

    file.identity = Identity{2049, 200, 8192, 1700000100, 0};
    file.hash = std::nullopt; // would read as unrecognised if it were judged again
    look = watch.look();
    EXPECT_EQ(look.finding, Finding::replaced(otherHash));
    EXPECT_TRUE(look.changed);
    EXPECT_EQ(file.judgements, 1);
}

TEST(LidHelperFileWatch, StepsAsideOnlyForAReplacementOnceNoLeaseIsHeldAndTheResetIsCertain) {
    const struct {
        Finding finding;
        bool isLeaseHeld;
        bool isResetInDoubt;
        bool stepsAside;
    } cases[] = {
        {Finding::replaced(otherHash), false, false, true}, {Finding::replaced(otherHash), true, false, false},
        {Finding::replaced(otherHash), false, true, false}, {Finding::replaced(otherHash), true, true, false},
        {Finding::running(), false, false, false},          {Finding::missing(), false, false, false},
        {Finding::unrecognised(), false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LidHelperFileWatch::stepsAside(c.finding, c.isLeaseHeld, c.isResetInDoubt), c.stepsAside)
            << static_cast<int>(c.finding.kind()) << " held " << c.isLeaseHeld << " in doubt " << c.isResetInDoubt;
    }
}

TEST(LidHelperFileWatch, LaunchedPathIsTheFirstAbsoluteCandidate) {
    using Path = std::optional<std::string>;
    const struct {
        Path kernel;
        Path loader;
        Path process;
        Path expected;
    } cases[] = {
        {"/opt/a", "/opt/b", "/opt/c", "/opt/a"},
        {std::nullopt, "/opt/b", "/opt/c", "/opt/b"},
        {"./a", "/opt/b", "/opt/c", "/opt/b"},
        {"a", "b", "/opt/c", "/opt/c"},
        {"", "", "/opt/c", "/opt/c"},
        {"./a", "b", "c", std::nullopt},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LidHelperFileWatch::launchedPath(c.kernel, c.loader, c.process), c.expected)
            << c.kernel.value_or("-") << " " << c.loader.value_or("-") << " " << c.process.value_or("-");
    }
}

// Records what the watch asks of the inspector, answering from a table.
class RecordingInspector final : public ProgramFileInspector {
public:
    std::optional<Identity> identity(const std::string& path) const override {
        identifiedPaths[path]++;
        return runningIdentity;
    }
    std::optional<std::string> codeDirectoryHash(const std::string& path,
                                                 const std::string& requirement) const override {
        judgedRequirement = requirement;
        judgedPath = path;
        return runningHash;
    }

    mutable std::map<std::string, int> identifiedPaths;
    mutable std::string judgedRequirement;
    mutable std::string judgedPath;
};

TEST(LidHelperFileWatch, ForTheRunningHelperJudgesAgainstTheHelperRequirementOfItsTeam) {
    const auto inspector = std::make_shared<RecordingInspector>();
    auto watch = LidHelperFileWatch::forRunningHelper(std::string(helperPath), startedFrom, runningHash,
                                                      std::string("ABCDE12345"), inspector);
    ASSERT_TRUE(watch.has_value());
    EXPECT_EQ(watch->path(), helperPath);
    EXPECT_EQ(watch->runningCodeDirectoryHash(), runningHash);
    EXPECT_EQ(watch->startedFrom(), startedFrom);
    EXPECT_EQ(watch->look().finding, Finding::running());
    EXPECT_EQ(inspector->judgedPath, helperPath);
    EXPECT_EQ(inspector->judgedRequirement,
              LidHelperService::codeRequirement("com.staywake.app.lidhelper", std::string("ABCDE12345")));
    EXPECT_EQ(inspector->identifiedPaths[helperPath], 1);
}

TEST(LidHelperFileWatch, ForTheRunningHelperNeedsEveryInput) {
    const auto inspector = std::make_shared<RecordingInspector>();
    const std::optional<std::string> path = helperPath;
    const std::optional<std::string> team = "ABCDE12345";
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(std::nullopt, startedFrom, runningHash, team, inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, std::nullopt, runningHash, team, inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, startedFrom, std::nullopt, team, inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, startedFrom, runningHash, std::nullopt, inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, startedFrom, runningHash, std::string("abcde12345"),
                                                      inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, startedFrom, runningHash, team, nullptr));
}

} // namespace
} // namespace staywake
