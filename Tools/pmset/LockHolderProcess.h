#pragma once

#include "StaywakeLinux/Socket/UniqueFd.h"

#include <sys/types.h>

#include <optional>
#include <string>

namespace staywake {

class HolderDirectory;

/// The process that holds Night Brew's logind lock: this program started
/// again as `<program> --hold`, in a session and process group of its own, so
/// that killing the pmset run that started it (the helper kills a timed-out
/// tool's whole group) leaves it holding. It stays in the service's cgroup, so
/// the service manager ends it with the helper.
///
/// A process counts as a holder only when it is proven one: found through a
/// pidfd, running this program file (as /proc names it; an older build that an
/// update replaced, marked " (deleted)", still counts), with the command line
/// `--hold`, as the user who owns the record (root, for the helper), and still
/// alive after all of that was read. A pid that now names any other process is
/// never signalled.
class LockHolderProcess {
public:
    static constexpr const char* holdArgument = "--hold";

    /// The running program's path as the kernel names it. Throws SystemError.
    static std::string ownProgram();

    /// The holder process `pid`, or nothing when that is not a holder of
    /// `program` run by `user`. Throws PmsetToolError when /proc does not let
    /// a user other than root tell.
    static std::optional<LockHolderProcess> find(pid_t pid, const std::string& program, uid_t user);

    /// Starts a holder of `program`, records it in `directory` before it does
    /// anything, and waits until it says it holds the lock, until `deadline`
    /// (system uptime). A holder that cannot take the lock has its reason
    /// thrown as a PmsetToolError, and is gone with its record. When the
    /// deadline passes first, the recorded holder is left to go on.
    static LockHolderProcess start(const std::string& program, const HolderDirectory& directory, double deadline);

    pid_t pid() const { return pid_; }

    /// Sends SIGTERM through the pidfd and waits until the process has ended,
    /// until `deadline`. Throws PmsetToolError when it has not.
    void end(double deadline) const;

private:
    LockHolderProcess(pid_t pid, UniqueFd pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}

    pid_t pid_;
    UniqueFd pidfd_;
};

/// Milliseconds from now until `deadline` (system uptime), for poll: at least 0.
int millisecondsUntil(double deadline);

} // namespace staywake
