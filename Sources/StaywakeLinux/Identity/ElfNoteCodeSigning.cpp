#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"

#include "StaywakeCore/Identity/CodeDirectoryHash.h"
#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeLinux/Identity/ElfIdentityNote.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"

#include <gcrypt.h>
#include <sys/stat.h>

#include <array>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

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

} // namespace

ElfNoteCodeSigning::ElfNoteCodeSigning(TrustAnchor anchor)
    : anchor_{canonicalRoot(anchor.root), anchor.owner} {}

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

std::optional<std::string> ElfNoteCodeSigning::codeDirectoryHashOfOpenProgram(const ReadOnlyFile& program,
                                                                             const std::string& requirement) const {
    return judge(program, requirement);
}

std::optional<std::string> ElfNoteCodeSigning::judge(const ReadOnlyFile& file, const std::string& requirement) const {
    const auto wanted = CodeRequirement::parse(requirement);
    if (!wanted || !isTrustedLocation(file)) {
        return std::nullopt;
    }
    const auto note = ElfIdentityNote::read(file);
    if (!note || note->identifier != wanted->identifier || note->teamIdentifier != wanted->teamIdentifier) {
        return std::nullopt;
    }
    return codeDirectoryHash(file);
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

namespace {

/// libgcrypt, which libsystemd already brings into both programs, initialised
/// once as its manual asks (unless libsystemd did so first). Hashing needs no
/// secure memory.
bool libgcryptReady() {
    static const bool ready = [] {
        if (gcry_check_version(GCRYPT_VERSION) == nullptr) {
            return false;
        }
        if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) == 0) {
            gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
            gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        }
        return true;
    }();
    return ready;
}

} // namespace

std::optional<std::string> ElfNoteCodeSigning::codeDirectoryHash(const ReadOnlyFile& file) {
    gcry_md_hd_t opened = nullptr;
    if (!libgcryptReady() || gcry_md_open(&opened, GCRY_MD_SHA256, 0) != 0) {
        return std::nullopt;
    }
    const std::unique_ptr<gcry_md_handle, decltype(&gcry_md_close)> context(opened, &gcry_md_close);
    const auto status = file.status();
    if (!status || status->st_size < 0) {
        return std::nullopt;
    }
    const auto size = static_cast<std::uint64_t>(status->st_size);
    std::vector<std::byte> chunk(1U << 16U);
    for (std::uint64_t offset = 0; offset < size;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - offset));
        const std::span<std::byte> part(chunk.data(), length);
        if (!file.readAt(offset, part)) {
            return std::nullopt;
        }
        gcry_md_write(context.get(), part.data(), part.size());
        offset += length;
    }
    const unsigned char* digest = gcry_md_read(context.get(), GCRY_MD_SHA256);
    if (digest == nullptr || gcry_md_get_algo_dlen(GCRY_MD_SHA256) < CodeDirectoryHash::byteCount) {
        return std::nullopt;
    }
    return CodeDirectoryHash::fromBytes(std::span(digest, CodeDirectoryHash::byteCount));
}

} // namespace staywake
