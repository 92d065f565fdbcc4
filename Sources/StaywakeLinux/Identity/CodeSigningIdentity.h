#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace staywake {

class ReadOnlyFile;

/// The running process's own code-signing facts, and the production check of
/// other programs (owner root, directories up to "/"). Every operation may run
/// on any thread; every failure reads as nothing. Those without a hasher hash
/// with libcrypto in this process.
class CodeSigningIdentity {
public:
    CodeSigningIdentity() = delete;

    /// The Team ID in the running program's identity note; nothing for a build
    /// configured without one.
    static std::optional<std::string> currentTeamIdentifier();
    /// The code directory hash of the file this process was started from, even
    /// when that file has since been replaced at its path.
    static std::optional<std::string> currentCodeDirectoryHash();
    /// The same, hashed by `hasher` (see ElfNoteCodeSigning::FileHasher).
    static std::optional<std::string>
    currentCodeDirectoryHash(const std::function<std::optional<std::string>(const ReadOnlyFile&)>& hasher);
    /// The code directory hash of the program at a path if it satisfies the
    /// requirement text.
    static std::optional<std::string> codeDirectoryHash(const std::string& path, const std::string& requirement);
    /// The same for the program a process runs (a connected peer).
    static std::optional<std::string> codeDirectoryHashOfProcess(pid_t pid, const std::string& requirement);
};

} // namespace staywake
