#include "IdentityTestSupport.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Identity/CodeSigningIdentity.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

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
    const std::string helperRequirement =
        *LidHelperService::codeRequirement("com.staywake.app.lidhelper", std::string("ABCDE12345"));
    const struct {
        const char* program;
        std::string requirement;
        bool satisfied;
    } cases[] = {
        {FIXTURE_APP, appRequirement, true},           {FIXTURE_HELPER, helperRequirement, true},
        {FIXTURE_HELPER, appRequirement, false},       {FIXTURE_APP, helperRequirement, false},
        {FIXTURE_OTHER_TEAM, appRequirement, false},   {FIXTURE_NO_TEAM, appRequirement, false},
        {FIXTURE_WITHOUT_NOTE, appRequirement, false}, {FIXTURE_APP, "", false},
        {FIXTURE_APP, "anchor apple generic", false},  {FIXTURE_APP, appRequirement + " or anchor apple", false},
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
    const struct {
        const char* name;
        std::function<void(const fs::path& program, TemporaryTree& tree)> arrange;
        bool trusted;
    } cases[] = {
        {"as installed", [](auto&, auto&) {}, true},
        {"read-only", [](const fs::path& p, auto&) { fs::permissions(p, fs::perms(0555)); }, true},
        {"writable by the group", [](const fs::path& p, auto&) { fs::permissions(p, fs::perms(0775)); }, false},
        {"writable by others", [](const fs::path& p, auto&) { fs::permissions(p, fs::perms(0757)); }, false},
        {"in a directory others can write to",
         [](const fs::path& p, auto&) { fs::permissions(p.parent_path(), fs::perms(0777)); }, false},
        {"in a directory its group can write to",
         [](const fs::path& p, auto&) { fs::permissions(p.parent_path(), fs::perms(0775)); }, false},
        {"in a sticky directory others can write to",
         [](const fs::path& p, auto&) { fs::permissions(p.parent_path(), fs::perms(01777)); }, true},
        {"below a directory others can write to",
         [](const fs::path&, TemporaryTree& t) { fs::permissions(t.root() / "usr", fs::perms(0777)); }, false},
        {"with the tree's root writable by others",
         [](const fs::path&, TemporaryTree& t) { fs::permissions(t.root(), fs::perms(0777)); }, false},
    };
    for (const auto& c : cases) {
        TemporaryTree tree;
        const auto app = tree.program("usr/lib/staywake/Staywake", FIXTURE_APP);
        c.arrange(app, tree);
        EXPECT_EQ(signingAnchoredAt(tree).codeDirectoryHash(app.string(), appRequirement).has_value(), c.trusted)
            << c.name;
    }
    TemporaryTree tree;
    const auto app = tree.program("usr/bin/Staywake", FIXTURE_APP);
    EXPECT_EQ(ElfNoteCodeSigning(TrustAnchor{tree.root(), ::getuid() + 1})
                  .codeDirectoryHash(app.string(), appRequirement),
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
    const struct {
        const char* name;
        std::function<void(const fs::path& app, const TemporaryTree& tree)> arrange;
        bool trusted;
    } cases[] = {
        {"as installed", [](auto&, auto&) {}, true},
        {"replaced by an update",
         [](const fs::path& app, const TemporaryTree& tree) {
             const auto update = tree.program("usr/bin/.Staywake.new", FIXTURE_APP);
             std::ofstream(update, std::ios::app) << "a newer build";
             fs::rename(update, app);
         },
         true},
        {"removed", [](const fs::path& app, auto&) { fs::remove(app); }, true},
        {"moved where others can write",
         [](const fs::path& app, const TemporaryTree& tree) {
             const auto shared = tree.directory("shared");
             fs::permissions(shared, fs::perms(0777));
             fs::rename(app, shared / "Staywake");
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryTree tree;
        const auto app = tree.program("usr/bin/Staywake", FIXTURE_APP);
        const auto hash = testing::codeDirectoryHashOf(app);
        testing::RunningFixture peer({app.string(), "wait"});
        ASSERT_EQ(peer.value("build"), "1") << "the peer did not start";
        c.arrange(app, tree);
        EXPECT_EQ(signingAnchoredAt(tree).codeDirectoryHashOfProcess(peer.pid(), appRequirement),
                  c.trusted ? std::optional(hash) : std::nullopt);
        EXPECT_EQ(peer.finish(), 0);
    }
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
    EXPECT_EQ(CodeSigningIdentity::currentCodeDirectoryHash(),
              testing::codeDirectoryHashOf("/proc/" + std::to_string(::getpid()) + "/exe"));

    // The test's own temporary copies are root's only when it runs as root.
    TemporaryTree tree;
    const auto app = tree.program("Staywake", FIXTURE_APP);
    EXPECT_EQ(CodeSigningIdentity::codeDirectoryHash(app.string(), appRequirement).has_value(), ::getuid() == 0);
    fs::permissions(tree.root(), fs::perms(0777));
    EXPECT_EQ(CodeSigningIdentity::codeDirectoryHash(app.string(), appRequirement), std::nullopt);
}

} // namespace
} // namespace staywake
