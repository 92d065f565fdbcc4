#include "ZorIdiDurirad/ChildProcess.h"

#include "StaywakeLinux/Clock/SystemClocks.h"
#include "ZorIdiDurirad/CommandFailure.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace staywake {

namespace {

constexpr double stopWait = 0.5;

// RAII for the two posix_spawn attribute objects, so that an early throw
// releases them.
class SpawnSetup {
public:
    SpawnSetup() {
        if (const int error = ::posix_spawn_file_actions_init(&actions); error != 0) {
            throw std::system_error(error, std::generic_category(), "could not prepare a command");
        }
        if (const int error = ::posix_spawnattr_init(&attributes); error != 0) {
            ::posix_spawn_file_actions_destroy(&actions);
            throw std::system_error(error, std::generic_category(), "could not prepare a command");
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup() {
        ::posix_spawnattr_destroy(&attributes);
        ::posix_spawn_file_actions_destroy(&actions);
    }

    void check(int error) const {
        if (error != 0) {
            throw std::system_error(error, std::generic_category(), "could not prepare a command");
        }
    }

    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
};

UniqueFd openExitDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    // A pidfd is close-on-exec from birth. Without one (a kernel before 5.3, or
    // no descriptor left) the runner still sees the exit through waitpid at
    // each of its checks.
    return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#else
    static_cast<void>(pid);
    return UniqueFd();
#endif
}

} // namespace

ChildProcess::ChildProcess(const std::string& path, const std::vector<std::string>& arguments, int outputFd,
                           int inputFd) {
    SpawnSetup setup;
    // An input on 0, 1 or 2 (a daemon started with those closed) is moved
    // above them first, so that placing the output cannot overwrite it.
    UniqueFd movedInput;
    if (inputFd >= 0 && inputFd <= STDERR_FILENO) {
        movedInput = UniqueFd(::fcntl(inputFd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
        if (!movedInput.valid()) {
            throw std::system_error(errno, std::generic_category(), "could not prepare a command");
        }
        inputFd = movedInput.get();
    }
    // The pipe goes to 1 before /dev/null is opened on 0 and 2, so that the
    // order is right even when the pipe itself landed on 0 or 2 in a daemon
    // started with those closed. A dup2 onto itself clears close-on-exec.
    setup.check(::posix_spawn_file_actions_adddup2(&setup.actions, outputFd, STDOUT_FILENO));
    if (inputFd >= 0) {
        setup.check(::posix_spawn_file_actions_adddup2(&setup.actions, inputFd, STDIN_FILENO));
    } else {
        setup.check(::posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0));
    }
    setup.check(::posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0));
    // Close-on-exec protects only descriptors opened with it; another thread's
    // descriptor opened without it must not reach a root-run tool either.
    setup.check(::posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1));

    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t allSignals;
    sigfillset(&allSignals);
    setup.check(::posix_spawnattr_setsigmask(&setup.attributes, &noSignals));
    setup.check(::posix_spawnattr_setsigdefault(&setup.attributes, &allSignals));
    setup.check(::posix_spawnattr_setpgroup(&setup.attributes, 0));
    setup.check(::posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                                  POSIX_SPAWN_SETPGROUP));

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    // glibc's posix_spawn reports a failed exec (ENOENT, EACCES, ENOEXEC, ...)
    // as its result, so a missing tool is an error here, not an exit status.
    pid_t pid = -1;
    if (const int error =
            ::posix_spawn(&pid, path.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
        error != 0) {
        throw CommandLaunchError(path, error);
    }
    pid_ = pid;
    exitDescriptor_ = openExitDescriptor(pid_);
}

ChildProcess::~ChildProcess() {
    if (!reaped_) {
        stop();
    }
}

bool ChildProcess::tryReap() {
    if (reaped_) {
        return true;
    }
    int waitStatus = 0;
    pid_t result = -1;
    do {
        result = ::waitpid(pid_, &waitStatus, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) {
        return false;
    }
    reaped_ = true;
    exitDescriptor_.reset();
    if (result < 0) {
        // ECHILD: someone else reaped it (SIGCHLD ignored process-wide). It
        // is gone, but its status is lost: report one no caller takes for
        // success.
        status_ = -1;
    } else if (WIFSIGNALED(waitStatus)) {
        status_ = WTERMSIG(waitStatus);
    } else {
        status_ = WEXITSTATUS(waitStatus);
    }
    return true;
}

bool ChildProcess::waitForExit(double seconds) {
    const double deadline = SystemUptimeProvider().uptime() + seconds;
    while (!tryReap()) {
        const double remaining = deadline - SystemUptimeProvider().uptime();
        if (remaining <= 0) {
            return false;
        }
        const int milliseconds = static_cast<int>(std::ceil(remaining * 1000));
        if (exitDescriptor_.valid()) {
            pollfd exitPoll{exitDescriptor_.get(), POLLIN, 0};
            ::poll(&exitPoll, 1, milliseconds);
        } else {
            ::poll(nullptr, 0, std::min(milliseconds, 5));
        }
    }
    return true;
}

void ChildProcess::stop() {
    if (tryReap()) {
        return;
    }
    // The pid cannot have been reused: it is ours until reaped. The group
    // (its id is the pid) reaches what the program started, such as a
    // systemctl that would otherwise live on after the tool was killed.
    ::kill(pid_, SIGKILL);
    ::kill(-pid_, SIGKILL);
    if (waitForExit(stopWait)) {
        return;
    }
    // From here the reaper thread owns the pid; this object is done with it.
    const pid_t pid = pid_;
    reaped_ = true;
    exitDescriptor_.reset();
    try {
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the zombie stays until the helper exits.
    }
}

} // namespace staywake
