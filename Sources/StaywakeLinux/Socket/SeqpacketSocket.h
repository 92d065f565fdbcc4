#pragma once

#include "StaywakeLinux/Socket/PeerCredentials.h"
#include "StaywakeLinux/Socket/UniqueFd.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace staywake {

/// The datagram operations both ends of the lid helper's AF_UNIX SOCK_SEQPACKET
/// socket use. Every descriptor made here is close-on-exec and non-blocking,
/// and nothing here can raise SIGPIPE.
class SeqpacketSocket {
public:
    struct Received {
        enum class Outcome {
            datagram,    ///< `bytes` holds one whole datagram
            endOfStream, ///< the peer closed (or sent an empty datagram, which reads the same)
            wouldBlock,  ///< nothing to read yet
            oversized,   ///< a datagram longer than the limit; `bytes` is empty, `size` its length
            ancillary,   ///< the peer sent ancillary data (descriptors, credentials), which is never expected
        };
        Outcome outcome = Outcome::wouldBlock;
        std::vector<std::uint8_t> bytes;
        std::size_t size = 0;
    };

    enum class SendOutcome { sent, wouldBlock };

    /// Connects to a listening socket at `path`. Throws SystemError.
    static UniqueFd connect(const std::string& path);
    /// Reads one datagram of at most `limit` bytes. Throws SystemError for a
    /// failed read other than EAGAIN/EINTR.
    static Received receive(int fd, std::size_t limit);
    /// Sends one datagram without waiting. Throws SystemError (EPIPE, ECONNRESET, ...).
    static SendOutcome send(int fd, std::span<const std::uint8_t> datagram);
    /// The peer as the kernel recorded it. Throws SystemError.
    static PeerCredentials peerCredentials(int fd);
};

} // namespace staywake
