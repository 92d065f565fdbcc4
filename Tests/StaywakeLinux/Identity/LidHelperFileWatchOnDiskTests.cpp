// The replacement watch driven by real files in a temporary tree and the
// platform's signature check.

#include "IdentityTestSupport.h"
#include "StaywakeCore/Identity/LidHelperFileWatch.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"

#include <fstream>

namespace staywake {
namespace {

using Finding = LidHelperFileWatch::Finding;
using testing::TemporaryTree;
namespace fs = std::filesystem;

constexpr const char* bundleProgram = "usr/lib/staywake/Staywake.app/Contents/Helpers/StaywakeLidHelper";

struct InstalledHelper {
    TemporaryTree tree;
    fs::path path = tree.program(bundleProgram, FIXTURE_HELPER);
    std::shared_ptr<const ElfNoteCodeSigning> signing =
        std::make_shared<ElfNoteCodeSigning>(TrustAnchor{tree.root(), ::getuid()});

    LidHelperFileWatch watch(const std::optional<std::string>& team = std::string("ABCDE12345")) {
        const auto identity = signing->identity(path.string());
        auto made = LidHelperFileWatch::forRunningHelper(path.string(), identity->file(),
                                                         testing::codeDirectoryHashOf(path), team, signing);
        if (!made) {
            throw std::runtime_error("no watch");
        }
        return *made;
    }

    // Installs another file at the helper's path the way a package update does.
    void replaceWith(const std::string& source, fs::perms mode = fs::perms(0755)) {
        const auto staged = path.parent_path() / ".staged";
        fs::copy_file(source, staged, fs::copy_options::overwrite_existing);
        fs::permissions(staged, mode);
        fs::rename(staged, path);
    }
};

TEST(LidHelperFileWatchOnDisk, FollowsAnUpdateOfTheInstalledHelper) {
    InstalledHelper helper;
    auto watch = helper.watch();
    EXPECT_EQ(watch.look().finding, Finding::running());

    helper.replaceWith(FIXTURE_HELPER_REBUILT);
    const auto rebuiltHash = testing::codeDirectoryHashOf(helper.path);
    ASSERT_NE(rebuiltHash, watch.runningCodeDirectoryHash());
    auto look = watch.look();
    EXPECT_EQ(look.finding, Finding::replaced(rebuiltHash));
    EXPECT_TRUE(look.changed);

    fs::remove(helper.path);
    EXPECT_EQ(watch.look().finding, Finding::missing());

    std::ofstream(helper.path) << "#!/bin/sh\n";
    fs::permissions(helper.path, fs::perms(0755));
    EXPECT_EQ(watch.look().finding, Finding::unrecognised());

    helper.replaceWith(FIXTURE_APP);
    EXPECT_EQ(watch.look().finding, Finding::unrecognised()) << "the app is no helper";

    helper.replaceWith(FIXTURE_HELPER, fs::perms(0777));
    EXPECT_EQ(watch.look().finding, Finding::unrecognised()) << "a helper anyone may change is not trusted";
}

TEST(LidHelperFileWatchOnDisk, AnIdenticalCopyAtANewInodeIsAReplacement) {
    InstalledHelper helper;
    auto watch = helper.watch();
    EXPECT_EQ(watch.look().finding, Finding::running());
    helper.replaceWith(FIXTURE_HELPER);
    EXPECT_EQ(watch.look().finding, Finding::replaced(watch.runningCodeDirectoryHash()));
}

TEST(LidHelperFileWatchOnDisk, AHelperOfAnotherTeamIsNoSuccessor) {
    InstalledHelper helper;
    auto watch = helper.watch(std::string("ZYXWV98765"));
    EXPECT_EQ(watch.look().finding, Finding::unrecognised());
}

} // namespace
} // namespace staywake
