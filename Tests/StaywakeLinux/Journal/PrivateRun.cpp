#include "StaywakeLinux/Journal/PrivateRun.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace staywake::testing {

int enterPrivateRun(const char* run) {
    if (::unshare(CLONE_NEWNS) != 0) {
        return errno;
    }
    // Without this the bind mount would propagate back to the host.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return errno;
    }
    if (::mount(run, "/run", nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return errno;
    }
    return 0;
}

bool canEnterPrivateRun(std::string& why) {
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

} // namespace staywake::testing
