#pragma once

#include "StaywakeCore/Identity/ProgramFileInspector.h"

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

class ReadOnlyFile;

/// Who may own a trusted program and the directories above it, and where the
/// check of those directories ends. In production the owner is root and the
/// walk goes up to "/"; tests anchor it at a temporary tree they own.
struct TrustAnchor {
    std::filesystem::path root = "/";
    uid_t owner = 0;
};

/// Code signing on this platform. A program "satisfies a requirement" when
///  - it is a regular file owned by the anchor's owner and not writable by
///    group or others,
///  - every directory from its parent up to the anchor's root is owned by the
///    anchor's owner and either not writable by group or others or sticky
///    (like /tmp), so nobody else can put another file at its path, and
///  - its ELF identity note names the requirement's identifier and Team ID.
/// The code directory hash is the first 20 bytes of the SHA-256 of the file.
/// Everything is read from one open descriptor, so the file judged is the
/// file hashed. Every failure reads as nothing. The hashes of the last few
/// programs judged are kept by the file's device, inode, size and times, so
/// that each new connection of the same app does not read its whole program
/// again; copies share them, and may be used from any thread.
///
/// The hash itself is computed by a FileHasher: with libcrypto in this
/// process by default, or by another means (the lid helper and the app run a
/// short-lived program, so that neither loads libcrypto).
class ElfNoteCodeSigning final : public ProgramFileInspector {
public:
    /// The code directory hash of an open file's whole contents; nothing when
    /// it cannot be computed. Called from any thread.
    using FileHasher = std::function<std::optional<std::string>(const ReadOnlyFile& file)>;

    /// Hashes in this process with libcrypto.
    explicit ElfNoteCodeSigning(TrustAnchor anchor = {});
    ElfNoteCodeSigning(TrustAnchor anchor, FileHasher hasher);

    std::optional<LidHelperFileWatch::Identity> identity(const std::string& path) const override;
    std::optional<std::string> codeDirectoryHash(const std::string& path,
                                                 const std::string& requirement) const override;
    /// The same check for the program a running process was started from
    /// (/proc/<pid>/exe); reading another user's process needs privileges.
    std::optional<std::string> codeDirectoryHashOfProcess(pid_t pid, const std::string& requirement) const;
    /// The same check for a program file already open, the running inode of
    /// a process: a file an update has since replaced at its path is judged
    /// where it was, and is still the program that runs.
    std::optional<std::string> codeDirectoryHashOfOpenProgram(const ReadOnlyFile& program,
                                                              const std::string& requirement) const;

    /// The hash of an open file's whole contents, with libcrypto in this
    /// process; nothing when it cannot be read.
    static std::optional<std::string> codeDirectoryHash(const ReadOnlyFile& file);

private:
    std::optional<std::string> judge(const ReadOnlyFile& file, const std::string& requirement) const;
    bool isTrustedLocation(const ReadOnlyFile& file) const;
    std::optional<std::string> rememberedCodeDirectoryHash(const ReadOnlyFile& file) const;

    struct HashCache;
    TrustAnchor anchor_;
    FileHasher hasher_;
    std::shared_ptr<HashCache> hashes_;
};

} // namespace staywake
