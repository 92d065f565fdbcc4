#include "pmset/LockHolderProcess.h"

#include "StaywakeLinux/Clock/SystemClocks.h"
#include "StaywakeLinux/SystemError.h"
#include "pmset/HolderDirectory.h"
#include "pmset/PmsetToolError.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace staywake {

namespace {

constexpr std::string_view deletedMark = " (deleted)";
constexpr int handshakeDescriptor = 3;

std::string withoutDeletedMark(std::string path) {
    if (path.ends_with(deletedMark)) {
        path.resize(path.size() - deletedMark.size());
    }
    return path;
}

// The link's text, or nothing when the process has gone. Root reads the link
// of every process that could be its holder; for another user a link it may
// not read leaves the question open, which must not read as "not ours".
std::optional<std::string> processLink(const std::string& link, pid_t pid) {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (length < 0 && (errno == EACCES || errno == EPERM) && ::geteuid() != 0) {
        throw PmsetToolError(
            "cannot tell whether process " + std::to_string(pid) +
            " is pmset's lock holder without root: " + SystemError("reading", link, errno).what());
    }
    if (length <= 0 || static_cast<std::size_t>(length) == buffer.size()) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

bool isHoldingCommandLine(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto firstEnd = text.find('\0');
    return firstEnd != std::string::npos &&
           std::string_view(text).substr(firstEnd + 1) == std::string(LockHolderProcess::holdArgument) + '\0';
}

bool isRunBy(pid_t pid, uid_t user) {
    struct stat status {};
    return ::stat(("/proc/" + std::to_string(pid)).c_str(), &status) == 0 && status.st_uid == user;
}

int signalThrough(int pidfd, int number) {
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, number, nullptr, 0));
}

// The holder's one line: "held", or "failed: <reason>"; nothing when it went
// away or the deadline passed first.
std::optional<std::string> readLine(int socket, double deadline) {
    std::string line;
    for (;;) {
        pollfd readable{socket, POLLIN, 0};
        const int ready = ::poll(&readable, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return std::nullopt;
        }
        char chunk[256];
        const ssize_t count = ::read(socket, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return std::nullopt;
        }
        line.append(chunk, static_cast<std::size_t>(count));
        if (const auto end = line.find('\n'); end != std::string::npos) {
            return line.substr(0, end);
        }
    }
}

// In the child between fork and exec: system calls only.
[[noreturn]] void becomeHolder(int handshake, const char* program, char* const* argv) {
    ::setsid();
    if (::chdir("/") != 0) {
        ::_exit(127);
    }
    // Out of the way of 0 to 3 first, whatever the tool was started with.
    const int lifted = ::fcntl(handshake, F_DUPFD, 10);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const int nullLifted = null < 0 ? -1 : ::fcntl(null, F_DUPFD_CLOEXEC, 10);
    if (lifted < 0 || nullLifted < 0 || ::dup2(nullLifted, STDIN_FILENO) < 0 ||
        ::dup2(nullLifted, STDOUT_FILENO) < 0 || ::dup2(nullLifted, STDERR_FILENO) < 0 ||
        ::dup2(lifted, handshakeDescriptor) < 0) {
        ::_exit(127);
    }
    ::syscall(SYS_close_range, handshakeDescriptor + 1, ~0U, 0);
    // SIGTERM must end it, even when this pmset was started with it ignored.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(SIGTERM, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(program, argv);
    ::_exit(127);
}

// A holder that will not hold: killed, reaped and no longer recorded.
[[noreturn]] void abandon(pid_t pid, const HolderDirectory& directory, const std::string& why) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    directory.forget();
    throw PmsetToolError(why);
}

} // namespace

int millisecondsUntil(double deadline) {
    const double left = deadline - SystemUptimeProvider().uptime();
    return left <= 0 ? 0 : static_cast<int>(std::min(std::ceil(left * 1000), 1e9));
}

std::string LockHolderProcess::ownProgram() {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) == buffer.size()) {
        throw SystemError("could not read", "/proc/self/exe", length < 0 ? errno : ENAMETOOLONG);
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::optional<LockHolderProcess> LockHolderProcess::find(pid_t pid, const std::string& program, uid_t user) {
    UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!pidfd) {
        if (errno == ESRCH) {
            return std::nullopt;
        }
        throw SystemError("could not open a pidfd for process", std::to_string(pid), errno);
    }
    // The program file last: only it may need root to be read.
    if (!isRunBy(pid, user) || !isHoldingCommandLine(pid)) {
        return std::nullopt;
    }
    const auto running = processLink("/proc/" + std::to_string(pid) + "/exe", pid);
    if (!running || withoutDeletedMark(*running) != withoutDeletedMark(program)) {
        return std::nullopt;
    }
    // Alive now means the pid was never handed on while it was being read.
    if (signalThrough(pidfd.get(), 0) != 0) {
        return std::nullopt;
    }
    return LockHolderProcess(pid, std::move(pidfd));
}

LockHolderProcess LockHolderProcess::start(const std::string& program, const HolderDirectory& directory,
                                           double deadline) {
    std::array<int, 2> ends{-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends.data()) != 0) {
        throw SystemError("could not make a socket pair for the lock holder", errno);
    }
    UniqueFd ours(ends[0]);
    UniqueFd theirs(ends[1]);
    std::string argument0 = program;
    std::string argument1 = holdArgument;
    std::array<char*, 3> argv{argument0.data(), argument1.data(), nullptr};

    const pid_t pid = ::fork();
    if (pid < 0) {
        throw SystemError("could not start the lock holder", errno);
    }
    if (pid == 0) {
        // /proc/self/exe runs the very file this pmset runs, even if an update
        // has just put another at its path.
        becomeHolder(theirs.get(), "/proc/self/exe", argv.data());
    }
    theirs.reset();
    UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!pidfd) {
        abandon(pid, directory, SystemError("could not open a pidfd for the lock holder", errno).what());
    }
    try {
        directory.record(pid);
    } catch (const std::exception& failure) {
        abandon(pid, directory, failure.what());
    }
    // Recorded, so it may go: from here a pmset killed while it waits leaves a
    // holder that the next write of 0 finds and ends.
    const char go = '1';
    if (::send(ours.get(), &go, 1, MSG_NOSIGNAL) != 1) {
        abandon(pid, directory, SystemError("could not start the lock holder", errno).what());
    }
    const auto line = readLine(ours.get(), deadline);
    if (line == "held") {
        return LockHolderProcess(pid, std::move(pidfd));
    }
    if (line && line->starts_with("failed: ")) {
        abandon(pid, directory, line->substr(8));
    }
    if (!line && millisecondsUntil(deadline) == 0) {
        throw PmsetToolError("the lock holder (process " + std::to_string(pid) +
                             ") did not take the lock in time; it is recorded and goes on trying");
    }
    abandon(pid, directory, "the lock holder ended before it took the lock");
}

void LockHolderProcess::end(double deadline) const {
    if (signalThrough(pidfd_.get(), SIGTERM) != 0 && errno != ESRCH) {
        throw SystemError("could not end the lock holder, process", std::to_string(pid_), errno);
    }
    pollfd ended{pidfd_.get(), POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&ended, 1, millisecondsUntil(deadline));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        throw PmsetToolError("the lock holder, process " + std::to_string(pid_) + ", did not end in time");
    }
    // A holder this run started is its child: reap it, or it stays a zombie.
    ::waitpid(pid_, nullptr, WNOHANG);
}

} // namespace staywake
