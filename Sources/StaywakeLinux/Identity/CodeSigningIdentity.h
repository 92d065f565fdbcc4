#pragma once

#include <functional>
#include <optional>
#include <string>

namespace staywake {

class ReadOnlyFile;

/// The running process's own code-signing facts. Every operation may run on
/// any thread; every failure reads as nothing.
class CodeSigningIdentity {
public:
    CodeSigningIdentity() = delete;

    /// The Team ID in the running program's identity note; nothing for a build
    /// configured without one.
    static std::optional<std::string> currentTeamIdentifier();
    /// The code directory hash of the file this process was started from, even
    /// when that file has since been replaced at its path, hashed by `hasher`
    /// (see ElfNoteCodeSigning::FileHasher).
    static std::optional<std::string>
    currentCodeDirectoryHash(const std::function<std::optional<std::string>(const ReadOnlyFile&)>& hasher);
};

} // namespace staywake
