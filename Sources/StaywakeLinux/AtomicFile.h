#pragma once

#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace staywake {

/// Replaces a file so that, whatever happens, readers and a machine that
/// crashes find either the old contents or the new ones, never half of them:
/// a temporary file in the same folder is written, synced, given its mode,
/// renamed over the file, and the folder is synced so that the rename itself
/// survives a crash. The folder must exist.
class AtomicFile {
public:
    /// Returns the status of the file now in place (its inode, size and
    /// times, for noticing a later replacement). Throws SystemError naming
    /// what failed; the old file is then untouched and no temporary file is
    /// left behind. A failure to sync the folder is thrown too, although the
    /// new contents are already in place by then.
    static struct stat replace(const std::filesystem::path& path, std::string_view contents, mode_t mode);

    /// Removes the temporary files that writers of `path` killed before their
    /// rename left behind. Only for a caller that holds a lock every writer of
    /// the file takes: without it, another writer's file in progress would go.
    static void removeLeftovers(const std::filesystem::path& path);
};

} // namespace staywake
