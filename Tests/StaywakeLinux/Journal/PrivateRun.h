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
    if (::unshare(CLONE_NEWNS) != 0) {
        return errno;
    }
    // Without this the bind mount would propagate back to the host.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(run, "/run", nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return errno;
    }
    return 0;
}

/// Whether private mount namespaces can be made here (they need root with
/// CAP_SYS_ADMIN); when not, `why` says what failed.
inline bool canEnterPrivateRun(std::string& why) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::unshare(CLONE_NEWNS) == 0 ? 0 : errno);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        why = "could not probe for mount namespaces";
        return false;
    }
    if (WEXITSTATUS(status) != 0) {
        why = std::string("cannot make a private mount namespace (needs root with CAP_SYS_ADMIN): ") +
              std::strerror(WEXITSTATUS(status));
        return false;
    }
    return true;
}

/// Nothing when this process runs as root and may make a private /run, as the
/// tests of the helper (which trusts only root-owned programs) and of pmset
/// (whose record lives in a root-owned /run/staywake) need; otherwise why not,
/// for a one-line skip.
inline std::optional<std::string> privateRunIsOutOfReach() {
    if (::geteuid() != 0) {
        return "the helper and pmset trust only what root owns, so these tests run as root";
    }
    std::string why;
    return canEnterPrivateRun(why) ? std::nullopt : std::optional<std::string>(why);
}

} // namespace staywake::testing
