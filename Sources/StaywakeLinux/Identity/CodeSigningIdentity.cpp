#include "StaywakeLinux/Identity/CodeSigningIdentity.h"

#include "StaywakeLinux/Identity/ElfIdentityNote.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"

namespace staywake {

namespace {

// Opening /proc/self/exe reaches the inode the process was started from, even
// after an update renamed another file over its path.
constexpr const char* runningProgram = "/proc/self/exe";

} // namespace

std::optional<std::string> CodeSigningIdentity::currentTeamIdentifier() {
    const auto note = ElfIdentityNote::read(runningProgram);
    return note ? note->teamIdentifier : std::nullopt;
}

std::optional<std::string> CodeSigningIdentity::currentCodeDirectoryHash(
    const std::function<std::optional<std::string>(const ReadOnlyFile&)>& hasher) {
    const auto file = ReadOnlyFile::open(runningProgram);
    return file ? hasher(*file) : std::nullopt;
}

} // namespace staywake
