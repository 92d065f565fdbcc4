#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace staywake::testing {

/// For a child between fork and exec: gives the process a mount namespace of
/// its own in which `run` is mounted over /run, so it logs to a JournalCapture
/// there and finds nothing else of the host's /run. Only system calls: safe
/// after fork in a threaded parent. Returns 0 or an errno value.
inline int enterPrivateRun(const char* run) {
    // Without the private remount the bind mount would propagate back to the host.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(run, "/run", nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return errno;
    }
    return 0;
}

/// Nothing when this process runs as root and may make a private /run, as the
/// tests of the helper (which trusts only root-owned programs), of pmset (whose
/// record lives in a root-owned /run/staywake) and of the journal need;
/// otherwise why not, for a one-line skip.
inline std::optional<std::string> privateRunIsOutOfReach() {
    if (::geteuid() != 0) {
        return "the helper and pmset trust only what root owns, so these tests run as root";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::unshare(CLONE_NEWNS) == 0 ? 0 : errno);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return "could not probe for mount namespaces";
    }
    if (WEXITSTATUS(status) != 0) {
        return std::string("cannot make a private mount namespace (needs CAP_SYS_ADMIN): ") +
               std::strerror(WEXITSTATUS(status));
    }
    return std::nullopt;
}

} // namespace staywake::testing
