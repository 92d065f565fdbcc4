#include "IdentityTestSupport.h"
#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Identity/CodeSigningIdentity.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"

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

TEST(ElfNoteCodeSigning, HashesATrustedProgramThatCarriesTheRequiredIdentity) {
    TemporaryTree tree;
    const auto app = tree.program("usr/lib/staywake/Staywake.app/Contents/bin/Staywake", FIXTURE_APP);
    const auto hash = signingAnchoredAt(tree).codeDirectoryHash(app.string(), appRequirement);
    ASSERT_TRUE(hash.has_value());
    EXPECT_EQ(*hash, testing::codeDirectoryHashOf(app));
}

TEST(ElfNoteCodeSigning, RefusesProgramsOthersCouldChangeOrReplace) {
    const struct {
        const char* name;
        std::function<void(const fs::path& program)> arrange;
        bool trusted;
    } cases[] = {
        {"as installed", [](const fs::path&) {}, true},
        {"read-only", [](const fs::path& p) { fs::permissions(p, fs::perms(0555)); }, true},
        {"writable by the group", [](const fs::path& p) { fs::permissions(p, fs::perms(0775)); }, false},
        {"writable by others", [](const fs::path& p) { fs::permissions(p, fs::perms(0757)); }, false},
        {"in a directory others can write to",
         [](const fs::path& p) { fs::permissions(p.parent_path(), fs::perms(0777)); }, false},
        {"in a directory its group can write to",
         [](const fs::path& p) { fs::permissions(p.parent_path(), fs::perms(0775)); }, false},
        {"in a sticky directory others can write to",
         [](const fs::path& p) { fs::permissions(p.parent_path(), fs::perms(01777)); }, true},
        {"below a directory others can write to",
         [](const fs::path& p) { fs::permissions(p.parent_path().parent_path().parent_path(), fs::perms(0777)); },
         false},
        {"with the tree's root writable by others",
         [](const fs::path& p) {
             fs::permissions(p.parent_path().parent_path().parent_path().parent_path(), fs::perms(0777));
         },
         false},
    };
    for (const auto& c : cases) {
        TemporaryTree tree;
        const auto app = tree.program("usr/lib/staywake/Staywake", FIXTURE_APP);
        c.arrange(app);
        EXPECT_EQ(signingAnchoredAt(tree).codeDirectoryHash(app.string(), appRequirement).has_value(), c.trusted)
            << c.name;
    }
}

TEST(ElfNoteCodeSigning, RefusesProgramsOfAnotherOwner) {
    TemporaryTree tree;
    const auto app = tree.program("usr/bin/Staywake", FIXTURE_APP);
    const ElfNoteCodeSigning strangerAnchored(TrustAnchor{tree.root(), ::getuid() + 1});
    EXPECT_EQ(strangerAnchored.codeDirectoryHash(app.string(), appRequirement), std::nullopt);
}

TEST(ElfNoteCodeSigning, RefusesProgramsOutsideTheAnchorsRoot) {
    TemporaryTree trusted;
    TemporaryTree elsewhere;
    const auto app = elsewhere.program("usr/bin/Staywake", FIXTURE_APP);
    EXPECT_EQ(signingAnchoredAt(trusted).codeDirectoryHash(app.string(), appRequirement), std::nullopt);

    // A link inside the root to a program outside it is judged where the program is.
    const auto link = trusted.directory("usr/bin") / "Staywake";
    fs::create_symlink(app, link);
    EXPECT_EQ(signingAnchoredAt(trusted).codeDirectoryHash(link.string(), appRequirement), std::nullopt);
}

TEST(ElfNoteCodeSigning, FollowsALinkToATrustedProgram) {
    TemporaryTree tree;
    const auto app = tree.program("usr/lib/staywake/Staywake", FIXTURE_APP);
    const auto link = tree.directory("usr/bin") / "staywake";
    fs::create_symlink("../lib/staywake/Staywake", link);
    EXPECT_EQ(signingAnchoredAt(tree).codeDirectoryHash(link.string(), appRequirement),
              testing::codeDirectoryHashOf(app));
}

TEST(ElfNoteCodeSigning, DemandsTheRequirementsIdentifierAndTeam) {
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
        EXPECT_EQ(signingAnchoredAt(tree).codeDirectoryHash(program.string(), c.requirement).has_value(),
                  c.satisfied)
            << c.program << " against " << c.requirement;
    }
}

TEST(ElfNoteCodeSigning, FindsNothingWhereThereIsNoProgram) {
    TemporaryTree tree;
    const auto directory = tree.directory("usr/bin");
    const auto fifo = directory / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const auto signing = signingAnchoredAt(tree);
    for (const auto& path : {fifo, directory, directory / "absent", fs::path("relative/path")}) {
        EXPECT_EQ(signing.codeDirectoryHash(path.string(), appRequirement), std::nullopt) << path;
        EXPECT_EQ(signing.identity(path.string()), std::nullopt) << path;
    }
}

TEST(ElfNoteCodeSigning, ChecksARunningPeerByTheFileItRunsWhateverHappenedToItsPath) {
    const struct {
        const char* name;
        std::function<void(const fs::path& app, const TemporaryTree& tree)> arrange;
        bool trusted;
    } cases[] = {
        {"as installed", [](const fs::path&, const TemporaryTree&) {}, true},
        {"replaced by an update",
         [](const fs::path& app, const TemporaryTree& tree) {
             const auto update = tree.program("usr/bin/.Staywake.new", FIXTURE_APP);
             std::ofstream(update, std::ios::app) << "a newer build";
             fs::rename(update, app);
         },
         true},
        {"removed", [](const fs::path& app, const TemporaryTree&) { fs::remove(app); }, true},
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
        testing::RunningFixture peer(app.string(), {"wait"});
        ASSERT_EQ(peer.value("build"), "1") << "the peer did not start";
        c.arrange(app, tree);
        const auto signing = signingAnchoredAt(tree);
        const auto running = ReadOnlyFile::open("/proc/" + std::to_string(peer.pid()) + "/exe");
        ASSERT_TRUE(running);
        EXPECT_EQ(signing.codeDirectoryHashOfOpenProgram(*running, appRequirement),
                  c.trusted ? std::optional(hash) : std::nullopt);
        EXPECT_EQ(peer.finish(), 0);
    }
    EXPECT_EQ(ElfNoteCodeSigning().codeDirectoryHashOfProcess(0, appRequirement), std::nullopt);
    EXPECT_EQ(ElfNoteCodeSigning().codeDirectoryHashOfProcess(-1, appRequirement), std::nullopt);
}

TEST(ElfNoteCodeSigning, APeerFromAnUntrustedCopyIsRefused) {
    TemporaryTree tree;
    const auto copy = tree.program("home/user/Staywake", FIXTURE_APP);
    fs::permissions(copy.parent_path(), fs::perms(0777));
    testing::RunningFixture peer(copy.string(), {"wait"});
    ASSERT_EQ(peer.value("build"), "1");
    EXPECT_EQ(signingAnchoredAt(tree).codeDirectoryHashOfProcess(peer.pid(), appRequirement), std::nullopt);
}

TEST(ElfNoteCodeSigning, IdentityFollowsLinksAndChangesWithTheFile) {
    TemporaryTree tree;
    const auto program = tree.program("usr/bin/program", FIXTURE_APP);
    const auto link = tree.root() / "link";
    fs::create_symlink(program, link);
    const auto signing = signingAnchoredAt(tree);
    const auto identity = signing.identity(program.string());
    ASSERT_TRUE(identity.has_value());
    struct stat status {};
    ASSERT_EQ(::stat(program.c_str(), &status), 0);
    EXPECT_EQ(identity->inode, status.st_ino);
    EXPECT_EQ(identity->size, status.st_size);
    EXPECT_EQ(signing.identity(link.string()), identity);

    tree.program("usr/bin/replacement", FIXTURE_HELPER);
    fs::rename(tree.root() / "usr/bin/replacement", program);
    const auto replaced = signing.identity(program.string());
    ASSERT_TRUE(replaced.has_value());
    EXPECT_NE(replaced->inode, identity->inode);
}

TEST(CodeSigningIdentity, ReadsTheRunningProgramsOwnIdentity) {
    const std::string configuredTeam = STAYWAKE_TEAM_ID;
    EXPECT_EQ(CodeSigningIdentity::currentTeamIdentifier(),
              configuredTeam.empty() ? std::nullopt : std::optional<std::string>(configuredTeam));
    EXPECT_EQ(CodeSigningIdentity::currentCodeDirectoryHash(),
              testing::codeDirectoryHashOf("/proc/" + std::to_string(::getpid()) + "/exe"));
}

TEST(CodeSigningIdentity, TrustsOnlyRootOwnedProgramsInRootOwnedDirectories) {
    // The production anchor: the test's own temporary copies are not root's
    // unless the test runs as root, and the build tree is not in a root-only place.
    TemporaryTree tree;
    const auto app = tree.program("Staywake", FIXTURE_APP);
    const bool ownedByRoot = ::getuid() == 0;
    EXPECT_EQ(CodeSigningIdentity::codeDirectoryHash(app.string(), appRequirement).has_value(), ownedByRoot);
    fs::permissions(tree.root(), fs::perms(0777));
    EXPECT_EQ(CodeSigningIdentity::codeDirectoryHash(app.string(), appRequirement), std::nullopt);
}

} // namespace
} // namespace staywake
