#include "StaywakeCore/Identity/LidHelperFileWatch.h"
#include "StaywakeCore/Identity/ProgramFileInspector.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using Finding = LidHelperFileWatch::Finding;
using Identity = LidHelperFileWatch::Identity;

const std::string helperPath = "/usr/lib/staywake/Staywake.app/Contents/Helpers/StaywakeLidHelper";
const std::string runningHash = "1111111111111111111111111111111111111111";
const std::string otherHash = "2222222222222222222222222222222222222222";
const LidHelperFileWatch::File startedFrom{.device = 2049, .inode = 100};
const Identity running{2049, 100, 4096, 1700000000, 5};
const Identity other{2049, 200, 8192, 1700000100, 0};

/// The program file at the helper's path, which tests change underneath the
/// watch; it judges the file by `hash` and counts the judgements.
class FakeInspector final : public ProgramFileInspector {
public:
    std::optional<Identity> identity(const std::string& path) const override {
        EXPECT_EQ(path, helperPath);
        return current;
    }
    std::optional<std::string> codeDirectoryHash(const std::string& path,
                                                 const std::string& requirement) const override {
        EXPECT_EQ(path, helperPath);
        EXPECT_EQ(requirement,
                  LidHelperService::codeRequirement("com.staywake.app.lidhelper", std::string("ABCDE12345")));
        ++judgements;
        return hash;
    }
    std::optional<Identity> current = running;
    std::optional<std::string> hash = runningHash;
    mutable int judgements = 0;
};

LidHelperFileWatch watchOf(const std::shared_ptr<FakeInspector>& inspector) {
    return *LidHelperFileWatch::forRunningHelper(helperPath, startedFrom, runningHash, std::string("ABCDE12345"),
                                                 inspector);
}

TEST(LidHelperFileWatch, ClassifiesWhatIsAtThePath) {
    const struct {
        const char* name;
        std::optional<Identity> identity;
        std::optional<std::string> hash;
        Finding expected;
    } cases[] = {
        {"the running file", running, runningHash, Finding::running()},
        {"the running file rewritten in place", Identity{2049, 100, 4096, 1700000001, 0}, runningHash,
         Finding::running()},
        {"another build", other, otherHash, Finding::replaced(otherHash)},
        {"an identical copy at a new inode", other, runningHash, Finding::replaced(runningHash)},
        {"the same inode on another device", Identity{2050, 100, 4096, 1700000000, 5}, runningHash,
         Finding::replaced(runningHash)},
        {"another build written into the same inode", Identity{2049, 100, 8192, 1700000100, 0}, otherHash,
         Finding::replaced(otherHash)},
        {"nothing there", std::nullopt, runningHash, Finding::missing()},
        {"an untrusted file", other, std::nullopt, Finding::unrecognised()},
    };
    for (const auto& c : cases) {
        const auto inspector = std::make_shared<FakeInspector>();
        inspector->current = c.identity;
        inspector->hash = c.hash;
        EXPECT_EQ(watchOf(inspector).look().finding, c.expected) << c.name;
    }
}

// The file is judged again only when its identity (any of its five fields)
// changes, a change of finding is reported once, and a file that comes back
// unchanged keeps its earlier judgement.
TEST(LidHelperFileWatch, JudgesAgainOnlyWhenTheIdentityChangesAndReportsOnlyChangesOfFinding) {
    const auto inspector = std::make_shared<FakeInspector>();
    auto watch = watchOf(inspector);
    const struct {
        std::optional<Identity> identity;
        std::optional<std::string> hash;
        Finding finding;
        bool changed;
        int judgements;
    } steps[] = {
        {running, runningHash, Finding::running(), true, 1},
        {running, runningHash, Finding::running(), false, 1},
        {other, otherHash, Finding::replaced(otherHash), true, 2},
        {Identity{2050, 200, 8192, 1700000100, 0}, otherHash, Finding::replaced(otherHash), false, 3},
        {Identity{2050, 201, 8192, 1700000100, 0}, otherHash, Finding::replaced(otherHash), false, 4},
        {Identity{2050, 201, 8193, 1700000100, 0}, otherHash, Finding::replaced(otherHash), false, 5},
        {Identity{2050, 201, 8193, 1700000101, 0}, otherHash, Finding::replaced(otherHash), false, 6},
        {other, otherHash, Finding::replaced(otherHash), false, 7},
        {std::nullopt, otherHash, Finding::missing(), true, 7},
        {std::nullopt, otherHash, Finding::missing(), false, 7},
        // Back unchanged: it would read as unrecognised if it were judged again.
        {other, std::nullopt, Finding::replaced(otherHash), true, 7},
        {Identity{2049, 300, 8192, 1700000200, 0}, "3333333333333333333333333333333333333333",
         Finding::replaced("3333333333333333333333333333333333333333"), true, 8},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        inspector->current = steps[i].identity;
        inspector->hash = steps[i].hash;
        const auto look = watch.look();
        EXPECT_EQ(look.finding, steps[i].finding) << "step " << i;
        EXPECT_EQ(look.changed, steps[i].changed) << "step " << i;
        EXPECT_EQ(inspector->judgements, steps[i].judgements) << "step " << i;
    }
    EXPECT_EQ(watch.path(), helperPath);
    EXPECT_EQ(watch.runningCodeDirectoryHash(), runningHash);
}

TEST(LidHelperFileWatch, StepsAsideOnlyForAReplacementOnceNoLeaseIsHeldAndTheResetIsCertain) {
    const auto replaced = Finding::replaced(otherHash);
    const struct {
        Finding finding;
        bool isLeaseHeld;
        bool isResetInDoubt;
        bool stepsAside;
    } cases[] = {
        {replaced, false, false, true},
        {replaced, true, false, false},
        {replaced, false, true, false},
        {Finding::running(), false, false, false},
        {Finding::missing(), false, false, false},
        {Finding::unrecognised(), false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LidHelperFileWatch::stepsAside(c.finding, c.isLeaseHeld, c.isResetInDoubt), c.stepsAside)
            << static_cast<int>(c.finding.kind()) << " held " << c.isLeaseHeld << " in doubt " << c.isResetInDoubt;
    }
}

TEST(LidHelperFileWatch, NeedsEveryInputAndTakesTheFirstAbsoluteLaunchPath) {
    const auto inspector = std::make_shared<FakeInspector>();
    const std::optional<std::string> path = helperPath;
    const std::optional<std::string> team = "ABCDE12345";
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(std::nullopt, startedFrom, runningHash, team, inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, std::nullopt, runningHash, team, inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, startedFrom, std::nullopt, team, inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, startedFrom, runningHash, std::nullopt, inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, startedFrom, runningHash, "abcde12345", inspector));
    EXPECT_FALSE(LidHelperFileWatch::forRunningHelper(path, startedFrom, runningHash, team, nullptr));

    using Path = std::optional<std::string>;
    const struct {
        Path kernel, loader, process, expected;
    } cases[] = {
        {"/opt/a", "/opt/b", "/opt/c", "/opt/a"}, {std::nullopt, "/opt/b", "/opt/c", "/opt/b"},
        {"./a", "/opt/b", "/opt/c", "/opt/b"},    {"", "b", "/opt/c", "/opt/c"},
        {"./a", "b", "c", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LidHelperFileWatch::launchedPath(c.kernel, c.loader, c.process), c.expected)
            << c.kernel.value_or("-") << " " << c.loader.value_or("-") << " " << c.process.value_or("-");
    }
}

} // namespace
} // namespace staywake
