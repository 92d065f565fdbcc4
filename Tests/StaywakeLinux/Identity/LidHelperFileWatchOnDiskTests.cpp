// The replacement watch driven by real files in a temporary tree and the
// platform's signature check.

#include "IdentityTestSupport.h"
#include "StaywakeCore/Identity/LidHelperFileWatch.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"

namespace staywake {
namespace {

using Finding = LidHelperFileWatch::Finding;
namespace fs = std::filesystem;

TEST(LidHelperFileWatchOnDisk, FollowsUpdatesOfTheInstalledHelperAndTrustsOnlyItsOwnTeamsHelper) {
    testing::TemporaryTree tree;
    const auto path =
        tree.program("usr/lib/staywake/Staywake.app/Contents/Helpers/StaywakeLidHelper", FIXTURE_HELPER);
    const auto signing = std::make_shared<ElfNoteCodeSigning>(TrustAnchor{tree.root(), ::getuid()});
    const auto watchFor = [&](const std::string& team) {
        return LidHelperFileWatch::forRunningHelper(path.string(), signing->identity(path.string())->file(),
                                                    testing::codeDirectoryHashOf(path), team, signing)
            .value();
    };
    EXPECT_EQ(watchFor("ZYXWV98765").look().finding, Finding::unrecognised());
    auto watch = watchFor("ABCDE12345");
    EXPECT_EQ(watch.look().finding, Finding::running());
    // Another file at the helper's path, installed the way a package update does.
    const auto install = [&](const std::string& source, fs::perms mode = fs::perms(0755)) {
        const auto staged = path.parent_path() / ".staged";
        fs::copy_file(source, staged, fs::copy_options::overwrite_existing);
        fs::permissions(staged, mode);
        fs::rename(staged, path);
    };
    install(FIXTURE_HELPER);
    EXPECT_EQ(watch.look().finding, Finding::replaced(watch.runningCodeDirectoryHash())) << "an identical copy";

    install(FIXTURE_HELPER_REBUILT);
    const auto rebuiltHash = testing::codeDirectoryHashOf(path);
    ASSERT_NE(rebuiltHash, watch.runningCodeDirectoryHash());
    const auto look = watch.look();
    EXPECT_EQ(look.finding, Finding::replaced(rebuiltHash));
    EXPECT_TRUE(look.changed);

    fs::remove(path);
    EXPECT_EQ(watch.look().finding, Finding::missing());
    testing::writeProgram(path, "#!/bin/sh\n");
    EXPECT_EQ(watch.look().finding, Finding::unrecognised());
    install(FIXTURE_APP);
    EXPECT_EQ(watch.look().finding, Finding::unrecognised()) << "the app is no helper";
    install(FIXTURE_HELPER, fs::perms(0777));
    EXPECT_EQ(watch.look().finding, Finding::unrecognised()) << "a helper anyone may change is not trusted";
}

} // namespace
} // namespace staywake
