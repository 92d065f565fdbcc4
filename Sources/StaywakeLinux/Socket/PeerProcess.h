#pragma once

#include "StaywakeLinux/Identity/ReadOnlyFile.h"
#include "StaywakeLinux/Socket/PeerCredentials.h"
#include "StaywakeLinux/Socket/UniqueFd.h"

#include <cstdint>
#include <optional>

namespace staywake {

/// The process at the other end of a local socket, pinned by a pidfd so that
/// what is read about it later is about that very process and not about
/// another one that was given its pid after it ended.
///
/// The pidfd is the kernel's own for the connecting process (SO_PEERPIDFD);
/// on kernels without it, pidfd_open of the SO_PEERCRED pid, after which the
/// process must still run as the connecting uid. Every read below is checked
/// against the pidfd afterwards: when the process has ended meanwhile, the
/// read counts as failed.
class PeerProcess {
public:
    /// Nothing when the peer has ended, lives in a process namespace this one
    /// cannot see, or cannot be pinned.
    static std::optional<PeerProcess> ofSocket(int socket);
    /// This very process (tests, and clients that judge themselves).
    static std::optional<PeerProcess> self();

    /// As the kernel recorded them at connect time; `pid` is the pidfd's.
    const PeerCredentials& credentials() const { return credentials_; }
    int pidfd() const { return pidfd_.get(); }

    /// The process has not ended.
    bool isRunning() const;
    /// When the process started, in clock ticks after boot (/proc/<pid>/stat),
    /// the value polkit pins a unix-process subject with.
    std::optional<std::uint64_t> startTime() const;
    /// The program file the process runs, opened once through
    /// /proc/<pid>/exe: the running inode, even when another file has since
    /// taken its path.
    std::optional<ReadOnlyFile> openExecutable() const;

private:
    PeerProcess(PeerCredentials credentials, UniqueFd pidfd)
        : credentials_(credentials), pidfd_(std::move(pidfd)) {}

    PeerCredentials credentials_;
    UniqueFd pidfd_;
};

} // namespace staywake
