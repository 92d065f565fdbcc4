#include "StaywakeLinux/Socket/SeqpacketSocket.h"

#include "StaywakeLinux/SystemError.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

namespace staywake {

UniqueFd SeqpacketSocket::connect(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        throw SystemError("could not connect to", path, ENAMETOOLONG);
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        throw SystemError("could not create a socket for", path, errno);
    }
    // A local connect completes at once or fails; it never returns EINPROGRESS.
    // EAGAIN here means the listener's backlog is full.
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw SystemError("could not connect to", path, errno);
    }
    return fd;
}

SeqpacketSocket::Received SeqpacketSocket::receive(int fd, std::size_t limit) {
    Received received;
    received.bytes.resize(limit);
    // One byte of control space is enough to notice (MSG_CTRUNC) that the peer
    // attached something; the kernel closes any descriptors that do not fit.
    alignas(cmsghdr) char control[CMSG_SPACE(1)];
    for (;;) {
        iovec vector{received.bytes.data(), received.bytes.size()};
        msghdr message{};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        // MSG_TRUNC makes the kernel report a longer datagram's real length.
        const ssize_t size = ::recvmsg(fd, &message, MSG_TRUNC | MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (size < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN) {
                received.bytes.clear();
                return received;
            }
            throw SystemError("could not read from the lease socket", errno);
        }
        received.size = static_cast<std::size_t>(size);
        if (message.msg_controllen > 0 || (message.msg_flags & MSG_CTRUNC) != 0) {
            for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
                 header = CMSG_NXTHDR(&message, header)) {
                if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
                    const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                    for (std::size_t i = 0; i < count; ++i) {
                        int passed = -1;
                        std::memcpy(&passed, CMSG_DATA(header) + i * sizeof(int), sizeof passed);
                        ::close(passed);
                    }
                }
            }
            received.outcome = Received::Outcome::ancillary;
            received.bytes.clear();
            return received;
        }
        if (size == 0) {
            received.outcome = Received::Outcome::endOfStream;
            received.bytes.clear();
            return received;
        }
        if (received.size > limit || (message.msg_flags & MSG_TRUNC) != 0) {
            received.outcome = Received::Outcome::oversized;
            received.bytes.clear();
            return received;
        }
        received.outcome = Received::Outcome::datagram;
        received.bytes.resize(received.size);
        return received;
    }
}

SeqpacketSocket::SendOutcome SeqpacketSocket::send(int fd, std::span<const std::uint8_t> datagram) {
    for (;;) {
        if (::send(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) {
            return SendOutcome::sent;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            return SendOutcome::wouldBlock;
        }
        throw SystemError("could not send on the lease socket", errno);
    }
}

PeerCredentials SeqpacketSocket::peerCredentials(int fd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        throw SystemError("could not read the peer credentials of the lease socket", errno);
    }
    return PeerCredentials{credentials.pid, credentials.uid, credentials.gid};
}

} // namespace staywake
