#include "IdentityTestSupport.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "Support/Files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

namespace staywake {
namespace {

namespace fs = std::filesystem;

TEST(ElfNoteCodeSigningMemory, AProgramChangedInPlaceWithItsTimesPutBackIsHashedAgain) {
    testing::TemporaryTree tree;
    const auto app = tree.program("usr/bin/Staywake", FIXTURE_APP);
    const ElfNoteCodeSigning signing(TrustAnchor{tree.root(), ::getuid()});
    const auto requirement = *LidHelperService::codeRequirement("com.staywake.app", std::string("ABCDE12345"));
    const auto first = signing.codeDirectoryHash(app.string(), requirement);
    ASSERT_TRUE(first);

    // One byte in the middle, the size kept and the times set back: only the
    // change time, in the same tick of its clock, could tell.
    struct stat before {};
    ASSERT_EQ(::stat(app.c_str(), &before), 0);
    {
        std::fstream file(app, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(before.st_size / 2);
        const char byte = static_cast<char>(file.get());
        file.seekp(before.st_size / 2);
        file.put(static_cast<char>(~byte));
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, app.c_str(), times, 0), 0);

    const auto second = signing.codeDirectoryHash(app.string(), requirement);
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, testing::codeDirectoryHashOf(app));
    EXPECT_NE(second, first);
}

} // namespace
} // namespace staywake
