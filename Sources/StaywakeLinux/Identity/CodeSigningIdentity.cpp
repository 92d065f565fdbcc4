#include "StaywakeLinux/Identity/CodeSigningIdentity.h"

#include "StaywakeLinux/Identity/ElfIdentityNote.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
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

std::optional<std::string> CodeSigningIdentity::currentCodeDirectoryHash() {
    const auto file = ReadOnlyFile::open(runningProgram);
    return file ? ElfNoteCodeSigning::codeDirectoryHash(*file) : std::nullopt;
}

std::optional<std::string> CodeSigningIdentity::codeDirectoryHash(const std::string& path,
                                                                  const std::string& requirement) {
    return ElfNoteCodeSigning().codeDirectoryHash(path, requirement);
}

std::optional<std::string> CodeSigningIdentity::codeDirectoryHashOfProcess(pid_t pid,
                                                                           const std::string& requirement) {
    return ElfNoteCodeSigning().codeDirectoryHashOfProcess(pid, requirement);
}

} // namespace staywake
