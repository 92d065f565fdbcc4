#include "IdentityTestSupport.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Identity/CodeSigningIdentity.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

namespace staywake {
namespace {

using testing::TemporaryTree;
namespace fs = std::filesystem;

const std::string appRequirement =
    *LidHelperService::codeRequirement("com.staywake.app", std::string("ABCDE12345"));

// The tree stands in for "/" and the test's user for root.
ElfNoteCodeSigning signingAnchoredAt(const TemporaryTree& tree) {
    return ElfNoteCodeSigning(TrustAnchor{tree.root(), ::getuid()});
}

TEST(ElfNoteCodeSigning, HashesOnlyAProgramThatCarriesTheRequirementsIdentifierAndTeam) {
    const struct {
        const char* program;
        std::string requirement;
        bool satisfied;
    } cases[] = {
        {FIXTURE_APP, appRequirement, true},           {FIXTURE_HELPER, appRequirement, false},
        {FIXTURE_OTHER_TEAM, appRequirement, false},   {FIXTURE_NO_TEAM, appRequirement, false},
        {FIXTURE_WITHOUT_NOTE, appRequirement, false}, {FIXTURE_APP, appRequirement + " or anchor apple", false},
    };
    for (const auto& c : cases) {
        TemporaryTree tree;
        const auto program = tree.program("usr/bin/program", c.program);
        EXPECT_EQ(signingAnchoredAt(tree).codeDirectoryHash(program.string(), c.requirement),
                  c.satisfied ? std::optional(testing::codeDirectoryHashOf(program)) : std::nullopt)
            << c.program << " against " << c.requirement;
    }
}

TEST(ElfNoteCodeSigning, RefusesProgramsOthersCouldChangeOrReplace) {
    const std::string app = "usr/lib/staywake/Staywake";
    const struct {
        std::string changed; // in the tree
        unsigned mode;
        bool trusted;
    } cases[] = {
        {app, 0755, true},
        {app, 0775, false},
        {app, 0757, false},
        {"usr/lib/staywake", 0775, false},
        {"usr/lib/staywake", 01777, true}, // sticky: others cannot replace what is not theirs
        {"usr", 0777, false},
        {"", 0777, false},
    };
    for (const auto& c : cases) {
        TemporaryTree tree;
        tree.program(app, FIXTURE_APP);
        fs::permissions(tree.root() / c.changed, fs::perms(c.mode));
        EXPECT_EQ(
            signingAnchoredAt(tree).codeDirectoryHash((tree.root() / app).string(), appRequirement).has_value(),
            c.trusted)
            << "/" << c.changed << " with mode " << std::oct << c.mode;
    }
    TemporaryTree tree;
    const auto installed = tree.program(app, FIXTURE_APP);
    EXPECT_EQ(ElfNoteCodeSigning(TrustAnchor{tree.root(), ::getuid() + 1})
                  .codeDirectoryHash(installed.string(), appRequirement),
              std::nullopt)
        << "owned by another user";
}

TEST(ElfNoteCodeSigning, JudgesALinkWhereItsProgramIsAndFindsNothingWhereThereIsNoProgram) {
    TemporaryTree tree;
    TemporaryTree elsewhere;
    const auto app = tree.program("usr/lib/staywake/Staywake", FIXTURE_APP);
    const auto outside = elsewhere.program("usr/bin/Staywake", FIXTURE_APP);
    const auto bin = tree.directory("usr/bin");
    fs::create_symlink("../lib/staywake/Staywake", bin / "staywake");
    fs::create_symlink(outside, bin / "outside");
    ASSERT_EQ(::mkfifo((bin / "fifo").c_str(), 0644), 0);
    const auto signing = signingAnchoredAt(tree);
    EXPECT_EQ(signing.codeDirectoryHash((bin / "staywake").string(), appRequirement),
              testing::codeDirectoryHashOf(app));
    EXPECT_EQ(signing.identity((bin / "staywake").string()), signing.identity(app.string()));
    for (const auto& path :
         {outside, bin / "outside", bin / "fifo", bin, bin / "absent", fs::path("relative/path")}) {
        EXPECT_EQ(signing.codeDirectoryHash(path.string(), appRequirement), std::nullopt) << path;
    }
    for (const auto& path : {bin / "fifo", bin, bin / "absent"}) {
        EXPECT_EQ(signing.identity(path.string()), std::nullopt) << path;
    }
}

TEST(ElfNoteCodeSigning, ChecksARunningPeerByTheFileItRunsWhateverHappenedToItsPath) {
    TemporaryTree tree;
    const auto app = tree.program("usr/bin/Staywake", FIXTURE_APP);
    const auto hash = testing::codeDirectoryHashOf(app);
    testing::RunningFixture peer({app.string(), "wait"});
    testing::RunningFixture movedPeer({tree.program("usr/bin/moved", FIXTURE_APP).string(), "wait"});
    ASSERT_TRUE(!peer.value("file").empty() && !movedPeer.value("file").empty()) << "a peer did not start";
    const auto judged = [&](const testing::RunningFixture& process) {
        return signingAnchoredAt(tree).codeDirectoryHashOfProcess(process.pid(), appRequirement);
    };
    EXPECT_EQ(judged(peer), hash);
    const auto update = tree.program("usr/bin/.Staywake.new", FIXTURE_APP);
    std::ofstream(update, std::ios::app) << "a newer build";
    fs::rename(update, app);
    EXPECT_EQ(judged(peer), hash) << "replaced by an update";
    fs::remove(app);
    EXPECT_EQ(judged(peer), hash) << "removed";
    const auto shared = tree.directory("shared");
    fs::permissions(shared, fs::perms(0777));
    fs::rename(tree.root() / "usr/bin/moved", shared / "moved");
    EXPECT_EQ(judged(movedPeer), std::nullopt) << "moved where others can write";
    EXPECT_EQ(peer.finish() + movedPeer.finish(), 0);
    EXPECT_EQ(ElfNoteCodeSigning().codeDirectoryHashOfProcess(0, appRequirement), std::nullopt);
    EXPECT_EQ(ElfNoteCodeSigning().codeDirectoryHashOfProcess(-1, appRequirement), std::nullopt);
}

TEST(ElfNoteCodeSigning, TheIdentityAndTheRememberedHashChangeWithTheFile) {
    TemporaryTree tree;
    const auto app = tree.program("usr/bin/Staywake", FIXTURE_APP);
    const auto signing = signingAnchoredAt(tree);
    const auto identity = signing.identity(app.string());
    const auto first = signing.codeDirectoryHash(app.string(), appRequirement);
    ASSERT_TRUE(identity && first);
    struct stat before {};
    ASSERT_EQ(::stat(app.c_str(), &before), 0);
    EXPECT_EQ(identity->inode, before.st_ino);
    EXPECT_EQ(identity->size, before.st_size);

    // One byte in the middle, the size kept and the times set back: only the
    // change time, in the same tick of its clock, could tell.
    {
        std::fstream file(app, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(before.st_size / 2);
        const char byte = static_cast<char>(file.get());
        file.seekp(before.st_size / 2);
        file.put(static_cast<char>(~byte));
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, app.c_str(), times, 0), 0);
    const auto second = signing.codeDirectoryHash(app.string(), appRequirement);
    EXPECT_EQ(second, testing::codeDirectoryHashOf(app));
    EXPECT_NE(second, first);

    tree.program("usr/bin/replacement", FIXTURE_HELPER);
    fs::rename(tree.root() / "usr/bin/replacement", app);
    EXPECT_NE(signing.identity(app.string()).value_or(*identity).inode, identity->inode);
}

TEST(CodeSigningIdentity, ReadsItsOwnIdentityAndTrustsOnlyRootOwnedProgramsInRootOwnedDirectories) {
    const std::string configuredTeam = STAYWAKE_TEAM_ID;
    EXPECT_EQ(CodeSigningIdentity::currentTeamIdentifier(),
              configuredTeam.empty() ? std::nullopt : std::optional<std::string>(configuredTeam));
    EXPECT_EQ(CodeSigningIdentity::currentCodeDirectoryHash(
                  [](const ReadOnlyFile& file) { return ElfNoteCodeSigning::codeDirectoryHash(file); }),
              testing::codeDirectoryHashOf("/proc/" + std::to_string(::getpid()) + "/exe"));

    // The test's own temporary copies are root's only when it runs as root.
    TemporaryTree tree;
    const auto app = tree.program("Staywake", FIXTURE_APP);
    const ElfNoteCodeSigning signing;
    EXPECT_EQ(signing.codeDirectoryHash(app.string(), appRequirement).has_value(), ::getuid() == 0);
    fs::permissions(tree.root(), fs::perms(0777));
    EXPECT_EQ(signing.codeDirectoryHash(app.string(), appRequirement), std::nullopt);
}

} // namespace
} // namespace staywake
