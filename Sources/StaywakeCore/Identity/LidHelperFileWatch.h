#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

class ProgramFileInspector;

/// Tells the running lid helper whether the program file at its launch path is
/// still the file it runs from. An app update replaces that file while the old
/// helper keeps running; once the file there is another valid helper, the old
/// one may step aside so the service manager starts the new one.
///
/// Judging a file (checking its signature) is the costly step, so the watch
/// remembers the last file identity it judged and what it found: an unchanged
/// file costs one stat per look. A watch is used from one thread.
class LidHelperFileWatch {
public:
    /// The file a process runs from.
    struct File {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        friend bool operator==(const File&, const File&) = default;
    };

    /// What changes when a file is replaced or rewritten.
    struct Identity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modifiedSeconds = 0;
        std::int64_t modifiedNanoseconds = 0;

        File file() const { return File{device, inode}; }
        friend bool operator==(const Identity&, const Identity&) = default;
    };

    /// What is at the watched path now.
    class Finding {
    public:
        enum class Case {
            /// a valid helper, but not the file this process runs from
            replaced,
            /// the very file this process runs from
            running,
            /// no regular file
            missing,
            /// a regular file that is not a valid helper
            unrecognised,
        };

        static Finding replaced(std::string codeDirectoryHash) {
            return Finding(Case::replaced, std::move(codeDirectoryHash));
        }
        static Finding running() { return Finding(Case::running, {}); }
        static Finding missing() { return Finding(Case::missing, {}); }
        static Finding unrecognised() { return Finding(Case::unrecognised, {}); }

        Case kind() const { return kind_; }
        /// The replacing file's hash; empty for every other case.
        const std::string& codeDirectoryHash() const { return codeDirectoryHash_; }

        friend bool operator==(const Finding&, const Finding&) = default;

    private:
        Finding(Case kind, std::string codeDirectoryHash)
            : kind_(kind), codeDirectoryHash_(std::move(codeDirectoryHash)) {}

        Case kind_;
        std::string codeDirectoryHash_;
    };

    struct Look {
        Finding finding;
        /// true on the first look and whenever the finding differs from the last one
        bool changed;
    };

    /// Reads a file's identity; nothing when there is no regular file.
    using Identify = std::function<std::optional<Identity>(const std::string& path)>;
    /// The code directory hash of the program at a path if it is a valid helper,
    /// else nothing.
    using Judge = std::function<std::optional<std::string>(const std::string& path)>;

    LidHelperFileWatch(std::string path, File startedFrom, std::string runningCodeDirectoryHash, Identify identify,
                       Judge judge);

    /// The watch for the running helper, judging files against the helper's
    /// requirement for this Team ID; nothing when any input is missing or no
    /// requirement can be built (then the helper cannot tell its successor).
    static std::optional<LidHelperFileWatch>
    forRunningHelper(const std::optional<std::string>& path, const std::optional<File>& startedFrom,
                     const std::optional<std::string>& runningCodeDirectoryHash,
                     const std::optional<std::string>& teamIdentifier,
                     std::shared_ptr<const ProgramFileInspector> inspector);

    /// Looks at the path once.
    Look look();

    /// Whether the helper should exit now: only for a replacement, and only
    /// once nothing holds a lease and the sleep setting is known to be restored.
    static bool stepsAside(const Finding& finding, bool isLeaseHeld, bool isResetInDoubt);

    /// The path the program was launched as: the first of the candidates that
    /// is present and absolute (the kernel's exec path, the loader's path, the
    /// path the caller found), else nothing.
    static std::optional<std::string> launchedPath(const std::optional<std::string>& kernelExecPath,
                                                   const std::optional<std::string>& loaderPath,
                                                   const std::optional<std::string>& processPath);

    const std::string& path() const { return path_; }
    const std::string& runningCodeDirectoryHash() const { return runningCodeDirectoryHash_; }
    const File& startedFrom() const { return startedFrom_; }

private:
    struct Judged {
        Identity identity;
        Finding finding;
    };

    Finding find();

    std::string path_;
    std::string runningCodeDirectoryHash_;
    File startedFrom_;
    Identify identify_;
    Judge judge_;
    std::optional<Judged> judged_;
    std::optional<Finding> lastFinding_;
};

} // namespace staywake
