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
const Finding copied = Finding::replaced(runningHash);
const Finding replaced = Finding::replaced(otherHash);

/// The file at the helper's path, judged by `hash`; it counts the judgements.
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
    const std::tuple<const char*, std::optional<Identity>, std::optional<std::string>, Finding> cases[] = {
        {"rewritten in place", Identity{2049, 100, 4096, 1700000001, 0}, runningHash, Finding::running()},
        {"a copy at a new inode", other, runningHash, copied},
        {"same inode, other device", Identity{2050, 100, 4096, 1700000000, 5}, runningHash, copied},
        {"another build, same inode", Identity{2049, 100, 8192, 1700000100, 0}, otherHash, replaced},
        {"untrusted", other, std::nullopt, Finding::unrecognised()},
    };
    for (const auto& [name, identity, hash, expected] : cases) {
        const auto inspector = std::make_shared<FakeInspector>();
        inspector->current = identity;
        inspector->hash = hash;
        EXPECT_EQ(watchOf(inspector).look().finding, expected) << name;
    }
}

// Any of the identity's five fields counts; a file that comes back unchanged keeps its judgement.
TEST(LidHelperFileWatch, JudgesAgainOnlyWhenTheIdentityChangesAndReportsOnlyChangesOfFinding) {
    const auto inspector = std::make_shared<FakeInspector>();
    auto watch = watchOf(inspector);
    const std::string third(40, '3');
    // What is at the path, how it is judged; the finding, whether it changed, the judgements so far.
    const std::tuple<std::optional<Identity>, std::optional<std::string>, Finding, bool, int> steps[] = {
        {running, runningHash, Finding::running(), true, 1},
        {running, runningHash, Finding::running(), false, 1},
        {other, otherHash, replaced, true, 2},
        {Identity{2050, 200, 8192, 1700000100, 0}, otherHash, replaced, false, 3},
        {Identity{2050, 201, 8192, 1700000100, 0}, otherHash, replaced, false, 4},
        {Identity{2050, 201, 8193, 1700000100, 0}, otherHash, replaced, false, 5},
        {Identity{2050, 201, 8193, 1700000101, 0}, otherHash, replaced, false, 6},
        {other, otherHash, replaced, false, 7},
        {std::nullopt, otherHash, Finding::missing(), true, 7},
        {std::nullopt, otherHash, Finding::missing(), false, 7},
        // Back unchanged: it would read as unrecognised if it were judged again.
        {other, std::nullopt, replaced, true, 7},
        {Identity{2049, 300, 8192, 1700000200, 0}, third, Finding::replaced(third), true, 8},
    };
    int step = 0;
    for (const auto& [identity, hash, finding, changed, judgements] : steps) {
        inspector->current = identity;
        inspector->hash = hash;
        const auto look = watch.look();
        EXPECT_EQ(std::tuple(look.finding, look.changed, inspector->judgements),
                  std::tuple(finding, changed, judgements))
            << "step " << step++;
    }
}

TEST(LidHelperFileWatch, StepsAsideOnlyForAReplacementOnceNoLeaseIsHeldAndTheResetIsCertain) {
    const std::tuple<Finding, bool, bool, bool> cases[] = {
        // the finding, a lease held, the reset in doubt
        // clang-format off
        {replaced, false, false, true}, {replaced, true, false, false}, {replaced, false, true, false},
        {Finding::running(), false, false, false}, {Finding::missing(), false, false, false},
        {Finding::unrecognised(), false, false, false},
        // clang-format on
    };
    for (const auto& [finding, held, inDoubt, stepsAside] : cases) {
        EXPECT_EQ(LidHelperFileWatch::stepsAside(finding, held, inDoubt), stepsAside)
            << static_cast<int>(finding.kind()) << " held " << held << " in doubt " << inDoubt;
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
    const std::tuple<Path, Path, Path, Path> cases[] = {
        // the kernel's, the loader's, the process's; the one taken
        {"/opt/a", "/opt/b", "/opt/c", "/opt/a"}, {std::nullopt, "/opt/b", "/opt/c", "/opt/b"},
        {"./a", "/opt/b", "/opt/c", "/opt/b"},    {"", "b", "/opt/c", "/opt/c"},
        {"./a", "b", "c", std::nullopt},
    };
    for (const auto& [kernel, loader, process, expected] : cases) {
        EXPECT_EQ(LidHelperFileWatch::launchedPath(kernel, loader, process), expected) << kernel.value_or("-");
    }
}

} // namespace
} // namespace staywake
