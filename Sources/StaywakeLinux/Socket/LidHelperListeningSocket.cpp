#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"

#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "StaywakeLinux/SystemError.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace staywake {
namespace {

constexpr int listenBacklog = 64;

void makeCloseOnExecAndNonBlocking(int fd) {
    const int descriptorFlags = ::fcntl(fd, F_GETFD);
    const int statusFlags = ::fcntl(fd, F_GETFL);
    if (descriptorFlags < 0 || statusFlags < 0 || ::fcntl(fd, F_SETFD, descriptorFlags | FD_CLOEXEC) != 0 ||
        ::fcntl(fd, F_SETFL, statusFlags | O_NONBLOCK) != 0) {
        throw SystemError("could not set the flags of the socket passed by systemd", errno);
    }
}

void prepareDirectory(const std::string& directory) {
    if (::mkdir(directory.c_str(), 0755) == 0) {
        // mkdir honours the umask; the directory must be searchable by the
        // users whose app connects.
        if (::chmod(directory.c_str(), 0755) != 0) {
            throw SystemError("could not set the mode of", directory, errno);
        }
    } else if (errno != EEXIST) {
        throw SystemError("could not create", directory, errno);
    }
    struct stat status {};
    if (::lstat(directory.c_str(), &status) != 0) {
        throw SystemError("could not inspect", directory, errno);
    }
    if (!S_ISDIR(status.st_mode)) {
        throw SystemError("could not use", directory, ENOTDIR);
    }
    if (status.st_uid != ::geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        throw SystemError("will not listen in a directory others can change:", directory, EPERM);
    }
}

/// Clears the way for a new socket at `path`: a socket nobody listens on any
/// more is removed; a live one or any other file stays and is an error.
void removeStaleSocket(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return;
        }
        throw SystemError("could not inspect", path, errno);
    }
    if (!S_ISSOCK(status.st_mode)) {
        throw SystemError("will not replace a file that is not a socket:", path, EEXIST);
    }
    try {
        SeqpacketSocket::connect(path);
    } catch (const SystemError& error) {
        if (error.errorNumber() != ECONNREFUSED) {
            throw;
        }
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            throw SystemError("could not remove the stale socket", path, errno);
        }
        return;
    }
    throw SystemError("could not listen on", path, EADDRINUSE);
}

} // namespace

UniqueFd LidHelperListeningSocket::activatedOrBound(const std::string& path) {
    if (auto socket = activated()) {
        return std::move(*socket);
    }
    return bound(path);
}

std::optional<UniqueFd> LidHelperListeningSocket::activated() {
    const int count = ::sd_listen_fds(1);
    if (count < 0) {
        throw SystemError("could not take the sockets passed by systemd", -count);
    }
    if (count == 0) {
        return std::nullopt;
    }
    for (int fd = SD_LISTEN_FDS_START + 1; fd < SD_LISTEN_FDS_START + count; ++fd) {
        ::close(fd);
    }
    UniqueFd socket(SD_LISTEN_FDS_START);
    if (count != 1) {
        throw SystemError("systemd passed " + std::to_string(count) + " sockets, expected one", EINVAL);
    }
    const int isSeqpacket = ::sd_is_socket_unix(socket.get(), SOCK_SEQPACKET, 1, nullptr, 0);
    if (isSeqpacket < 0) {
        throw SystemError("could not inspect the socket passed by systemd", -isSeqpacket);
    }
    if (isSeqpacket == 0) {
        throw SystemError("the socket passed by systemd is not a listening AF_UNIX SOCK_SEQPACKET socket",
                          ENOTSOCK);
    }
    makeCloseOnExecAndNonBlocking(socket.get());
    return socket;
}

UniqueFd LidHelperListeningSocket::bound(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.front() != '/' || path.size() >= sizeof address.sun_path) {
        throw SystemError("could not listen on", path, ENAMETOOLONG);
    }
    std::memcpy(address.sun_path, path.data(), path.size());

    prepareDirectory(std::filesystem::path(path).parent_path().string());
    removeStaleSocket(path);

    UniqueFd socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket) {
        throw SystemError("could not create a socket for", path, errno);
    }
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw SystemError("could not bind", path, errno);
    }
    if (::chmod(path.c_str(), 0666) != 0) {
        throw SystemError("could not set the mode of", path, errno);
    }
    if (::listen(socket.get(), listenBacklog) != 0) {
        throw SystemError("could not listen on", path, errno);
    }
    return socket;
}

} // namespace staywake
