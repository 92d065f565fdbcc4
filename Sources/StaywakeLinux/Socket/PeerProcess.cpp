#include "StaywakeLinux/Socket/PeerProcess.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77
#endif

namespace staywake {
namespace {

std::string procPath(pid_t pid, const char* entry) { return "/proc/" + std::to_string(pid) + "/" + entry; }

/// The pid a pidfd names in this process's namespace (its fdinfo "Pid:" line);
/// nothing when the process has ended or is not visible from here.
std::optional<pid_t> pidOf(int pidfd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(pidfd));
    std::string line;
    while (std::getline(info, line)) {
        if (line.starts_with("Pid:")) {
            try {
                const long pid = std::stol(line.substr(4));
                return pid > 0 ? std::optional<pid_t>(static_cast<pid_t>(pid)) : std::nullopt;
            } catch (const std::exception&) {
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

/// The effective uid a running process has now (the second "Uid:" field).
std::optional<uid_t> effectiveUidOf(pid_t pid) {
    std::ifstream status(procPath(pid, "status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Uid:")) {
            std::istringstream fields(line.substr(4));
            unsigned long real = 0;
            unsigned long effective = 0;
            if (fields >> real >> effective) {
                return static_cast<uid_t>(effective);
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

UniqueFd pidfdOpen(pid_t pid) { return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))); }

} // namespace

std::optional<PeerProcess> PeerProcess::ofSocket(int socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || credentials.pid <= 0) {
        return std::nullopt;
    }
    int kernelPidfd = -1;
    socklen_t pidfdSize = sizeof kernelPidfd;
    UniqueFd pidfd;
    bool reopened = false;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERPIDFD, &kernelPidfd, &pidfdSize) == 0 && kernelPidfd >= 0) {
        pidfd = UniqueFd(kernelPidfd);
    } else if (errno == ENOPROTOOPT || errno == EINVAL) {
        // An older kernel: the pid may have been handed on since the connect,
        // so the process it names now must at least run as the same user.
        pidfd = pidfdOpen(credentials.pid);
        reopened = true;
    }
    if (!pidfd) {
        return std::nullopt;
    }
    const auto pid = pidOf(pidfd.get());
    if (!pid) {
        return std::nullopt;
    }
    PeerProcess peer(PeerCredentials{*pid, credentials.uid, credentials.gid}, std::move(pidfd));
    if (reopened && (*pid != credentials.pid || effectiveUidOf(*pid) != credentials.uid || !peer.isRunning())) {
        return std::nullopt;
    }
    return peer;
}

std::optional<PeerProcess> PeerProcess::self() {
    UniqueFd pidfd = pidfdOpen(::getpid());
    if (!pidfd) {
        return std::nullopt;
    }
    return PeerProcess(PeerCredentials{::getpid(), ::geteuid(), ::getegid()}, std::move(pidfd));
}

bool PeerProcess::isRunning() const {
    // A pidfd becomes readable when its process ends.
    pollfd polled{pidfd_.get(), POLLIN, 0};
    return ::poll(&polled, 1, 0) == 0;
}

std::optional<std::uint64_t> PeerProcess::startTime() const {
    std::ifstream file(procPath(credentials_.pid, "stat"));
    std::string stat;
    std::getline(file, stat);
    // The command name may hold blanks and parentheses: fields count from the last ")".
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    // Field 22 of the line; the state (field 3) comes first after ")".
    for (int number = 3; number < 22 && fields >> field; ++number) {
    }
    std::uint64_t start = 0;
    if (!(fields >> start) || !isRunning()) {
        return std::nullopt;
    }
    return start;
}

std::optional<ReadOnlyFile> PeerProcess::openExecutable() const {
    auto file = ReadOnlyFile::open(procPath(credentials_.pid, "exe"));
    if (!file || !isRunning()) {
        return std::nullopt;
    }
    return file;
}

} // namespace staywake
