#include "StaywakeLinux/Update/RelaunchAfterExit.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace staywake::RelaunchAfterExit {

std::optional<std::string> arrange(const std::filesystem::path& program) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, ::getpid(), 0));
    if (pidfd < 0) {
        return std::string("could not watch this process (pidfd_open): ") + std::strerror(errno);
    }
    // Everything the children use is made before fork: a multi-threaded
    // process may only make async-signal-safe calls in its child.
    const std::string path = program.string();
    char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
    sigset_t none;
    sigemptyset(&none);

    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pidfd);
        return std::string("could not start the relaunch waiter (fork): ") + std::strerror(error);
    }
    if (child == 0) {
        ::setsid();
        const pid_t waiter = ::fork();
        if (waiter != 0) {
            ::_exit(waiter < 0 ? 1 : 0);
        }
        // The waiter, reparented to the session's reaper once its parent exits.
        if (::dup2(pidfd, 3) < 0) {
            ::_exit(1);
        }
        ::syscall(SYS_close_range, 4U, ~0U, 0U);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (const int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD}) {
            ::signal(signal, SIG_DFL);
        }
        struct pollfd watched {};
        watched.fd = 3;
        watched.events = POLLIN;
        while (::poll(&watched, 1, -1) < 0 && errno == EINTR) {
        }
        ::close(3);
        ::execv(arguments[0], arguments);
        ::_exit(127);
    }
    ::close(pidfd);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return std::string("could not wait for the relaunch waiter: ") + std::strerror(errno);
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::string("the relaunch waiter could not be detached");
    }
    return std::nullopt;
}

} // namespace staywake::RelaunchAfterExit
