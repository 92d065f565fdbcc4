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

/// Between fork and exec (only system calls): `run` over /run in a mount namespace
/// of the child's own, so it logs to a JournalCapture there. 0 or an errno value.
inline int enterPrivateRun(const char* run) {
    // Without the private remount the bind mount would propagate back to the host.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(run, "/run", nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return errno;
    }
    return 0;
}

/// Nothing when this process may make a private /run as root (the helper trusts
/// only what root owns); otherwise why not, for a one-line skip.
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
