#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"

#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeLinux/Identity/ElfIdentityNote.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"

#include <sys/stat.h>

#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>

namespace staywake {

namespace {

// The root as an absolute path without a trailing separator ("/" stays "/").
std::filesystem::path canonicalRoot(const std::filesystem::path& root) {
    std::error_code error;
    std::string text = std::filesystem::weakly_canonical(root, error).string();
    if (error || text.empty()) {
        text = root.lexically_normal().string();
    }
    while (text.size() > 1 && text.ends_with('/')) {
        text.pop_back();
    }
    return text;
}

bool isWritableByOthers(mode_t mode) { return (mode & (S_IWGRP | S_IWOTH)) != 0; }

bool isWithin(const std::string& path, const std::string& root) {
    return root == "/" || (path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/');
}

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

} // namespace

// A trusted program can be changed by its owner only, and any change moves
// its change time, which nobody can set back: a file with the same device,
// inode, size and times has the same contents. Except within one tick of the
// file system's clock: a file changed less than `settled` seconds ago is not
// remembered, as a second change in the same tick would leave its times alone.
struct ElfNoteCodeSigning::HashCache {
    static constexpr std::size_t capacity = 8;
    static constexpr std::time_t settled = 2;
    struct Entry {
        struct stat status;
        std::string hash;
        bool isOf(const struct stat& other) const {
            return status.st_dev == other.st_dev && status.st_ino == other.st_ino &&
                   status.st_size == other.st_size && sameTime(status.st_mtim, other.st_mtim) &&
                   sameTime(status.st_ctim, other.st_ctim);
        }
    };
    std::mutex lock;
    std::deque<Entry> entries; // the newest first
};

ElfNoteCodeSigning::ElfNoteCodeSigning(TrustAnchor anchor, FileHasher hasher)
    : anchor_{canonicalRoot(anchor.root), anchor.owner}, hasher_(std::move(hasher)),
      hashes_(std::make_shared<HashCache>()) {}

std::optional<LidHelperFileWatch::Identity> ElfNoteCodeSigning::identity(const std::string& path) const {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    // Plain assignments widen on every platform without a cast that is useless on 64-bit ones.
    LidHelperFileWatch::Identity identity;
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
    identity.size = status.st_size;
    identity.modifiedSeconds = status.st_mtim.tv_sec;
    identity.modifiedNanoseconds = status.st_mtim.tv_nsec;
    return identity;
}

std::optional<std::string> ElfNoteCodeSigning::codeDirectoryHash(const std::string& path,
                                                                 const std::string& requirement) const {
    const auto file = ReadOnlyFile::open(path);
    if (!file) {
        return std::nullopt;
    }
    return judge(*file, requirement);
}

std::optional<std::string> ElfNoteCodeSigning::codeDirectoryHashOfProcess(pid_t pid,
                                                                          const std::string& requirement) const {
    if (pid <= 0) {
        return std::nullopt;
    }
    return codeDirectoryHash("/proc/" + std::to_string(pid) + "/exe", requirement);
}

std::optional<std::string>
ElfNoteCodeSigning::codeDirectoryHashOfOpenProgram(const ReadOnlyFile& program,
                                                   const std::string& requirement) const {
    return judge(program, requirement);
}

std::optional<std::string> ElfNoteCodeSigning::judge(const ReadOnlyFile& file,
                                                     const std::string& requirement) const {
    const auto wanted = CodeRequirement::parse(requirement);
    if (!wanted || !isTrustedLocation(file)) {
        return std::nullopt;
    }
    const auto note = ElfIdentityNote::read(file);
    if (!note || note->identifier != wanted->identifier || note->teamIdentifier != wanted->teamIdentifier) {
        return std::nullopt;
    }
    return rememberedCodeDirectoryHash(file);
}

std::optional<std::string> ElfNoteCodeSigning::rememberedCodeDirectoryHash(const ReadOnlyFile& file) const {
    const auto status = file.status();
    if (!status) {
        return std::nullopt;
    }
    {
        const std::lock_guard guard(hashes_->lock);
        for (const auto& entry : hashes_->entries) {
            if (entry.isOf(*status)) {
                return entry.hash;
            }
        }
    }
    auto hash = hasher_ ? hasher_(file) : std::nullopt;
    // Only a file that did not change while it was read is remembered.
    const auto after = file.status();
    if (hash && after && HashCache::Entry{*status, {}}.isOf(*after) &&
        after->st_ctim.tv_sec + HashCache::settled < std::time(nullptr)) {
        const std::lock_guard guard(hashes_->lock);
        hashes_->entries.push_front({*status, *hash});
        if (hashes_->entries.size() > HashCache::capacity) {
            hashes_->entries.pop_back();
        }
    }
    return hash;
}

bool ElfNoteCodeSigning::isTrustedLocation(const ReadOnlyFile& file) const {
    const auto status = file.status();
    if (!status || !S_ISREG(status->st_mode) || status->st_uid != anchor_.owner ||
        isWritableByOthers(status->st_mode)) {
        return false;
    }
    // Judge the directories of the file actually open, not of the path we were
    // given: links are resolved, and a file that has since been deleted or moved
    // away from its path is no longer where its directories could vouch for it.
    auto resolved = file.resolvedPath();
    if (!resolved) {
        return false;
    }
    // A file with no name left is one that an update replaced while a process
    // still runs it: the kernel names it by its last path, marked " (deleted)".
    // Nothing can reach it by a path any more, so the directories it was in
    // vouch for it; a file that still has a name must be the one at its path.
    constexpr std::string_view deleted = " (deleted)";
    const bool unlinked = status->st_nlink == 0 && resolved->ends_with(deleted);
    if (unlinked) {
        resolved->resize(resolved->size() - deleted.size());
    }
    const std::filesystem::path path(*resolved);
    struct stat atPath {};
    if (!isWithin(*resolved, anchor_.root.string()) ||
        (!unlinked && (::lstat(path.c_str(), &atPath) != 0 || atPath.st_dev != status->st_dev ||
                       atPath.st_ino != status->st_ino))) {
        return false;
    }
    for (auto directory = path.parent_path();; directory = directory.parent_path()) {
        struct stat directoryStatus {};
        if (::lstat(directory.c_str(), &directoryStatus) != 0 || !S_ISDIR(directoryStatus.st_mode) ||
            directoryStatus.st_uid != anchor_.owner ||
            (isWritableByOthers(directoryStatus.st_mode) && (directoryStatus.st_mode & S_ISVTX) == 0)) {
            return false;
        }
        if (directory == anchor_.root || directory == directory.parent_path()) {
            return true;
        }
    }
}

} // namespace staywake
