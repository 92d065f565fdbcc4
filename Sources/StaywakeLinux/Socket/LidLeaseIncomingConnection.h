#pragma once

#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/PeerCredentials.h"
#include "StaywakeLinux/Socket/UniqueFd.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

class EventNotifier;

/// One client connection as the lid helper's listener sees it. The listener
/// shows it to its accept handler, which reads the peer and, to accept it, sets
/// the request handlers and the invalidation handler.
///
/// Requests and the invalidation are delivered on the listener's thread, one at
/// a time and in the order they arrived; the invalidation comes after every
/// request of the connection and exactly once, however the connection ends.
/// Each request's reply function may be called from any thread; the first call
/// sends the reply, later calls do nothing, and a reply for a connection that
/// has ended is dropped.
class LidLeaseIncomingConnection {
public:
    using Reply = std::function<void(std::optional<std::string> text)>;
    using RenewHandler = std::function<void(double until, Reply reply)>;
    using RevokeHandler = std::function<void(std::function<void()> reply)>;

    /// How many requests of one connection may wait for their replies before
    /// the listener stops reading from it, so a client cannot queue unbounded
    /// work behind a busy helper.
    static constexpr std::size_t maximumPendingReplies = 16;

    LidLeaseIncomingConnection(UniqueFd socket, PeerCredentials peer, std::shared_ptr<EventNotifier> wake);
    ~LidLeaseIncomingConnection();
    LidLeaseIncomingConnection(const LidLeaseIncomingConnection&) = delete;
    LidLeaseIncomingConnection& operator=(const LidLeaseIncomingConnection&) = delete;

    const PeerCredentials& peer() const { return peer_; }

    void setRequestHandlers(RenewHandler renew, RevokeHandler revoke);
    void setInvalidationHandler(std::function<void()> handler);

    // The listener's side.
    int fd() const;
    bool isOpen() const;
    bool mayRead() const;
    /// Decodes and dispatches one datagram. Returns false when the connection
    /// must end: the datagram is not a request of this protocol, or a handler
    /// is missing or threw.
    bool dispatch(std::span<const std::uint8_t> datagram);
    /// Closes the socket and, unless `quietly`, calls the invalidation handler
    /// (once, whatever happens later).
    void end(bool quietly = false);

private:
    struct Channel;
    class PendingReply;

    std::shared_ptr<Channel> channel_;
    PeerCredentials peer_;
    RenewHandler renew_;
    RevokeHandler revoke_;
    std::function<void()> invalidation_;
    bool ended_ = false;
};

} // namespace staywake
