#pragma once

#include "StaywakeCore/LidHelper/LidLeaseConnection.h"
#include "StaywakeCore/LidHelper/LidLeaseIncomingConnection.h"
#include "StaywakeLinux/Socket/PeerProcess.h"
#include "StaywakeLinux/Socket/UniqueFd.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace staywake {

class EventNotifier;

/// One client connection of the lid helper's socket, as the listener shows it
/// to the listener delegate: the peer is the process the kernel says
/// connected, pinned by its pidfd, and it is judged against the caller
/// requirement before a single datagram of it is read.
///
/// Requests and the invalidation are delivered on the listener's thread, one at
/// a time and in the order they arrived; the invalidation comes after every
/// request of the connection and exactly once, however the connection ends.
/// Each request's reply function may be called from any thread; the first call
/// sends the reply, later calls do nothing, and a reply for a connection that
/// has ended is dropped. A request dropped without its reply (the helper
/// stopping with it still queued) shuts the connection down, so the client
/// learns at once instead of waiting out its timeout.
class LidLeaseSocketConnection final : public LidLeaseIncomingConnection {
public:
    /// Decides whether a peer meets a code requirement: the program the
    /// process runs is checked, not what it says of itself.
    using PeerJudge = std::function<bool(const PeerProcess& peer, const std::string& requirement)>;

    /// How many requests of one connection may wait for their replies before
    /// the listener stops reading from it, so a client cannot queue unbounded
    /// work behind a busy helper.
    static constexpr std::size_t maximumPendingReplies = 16;

    LidLeaseSocketConnection(UniqueFd socket, PeerProcess peer, PeerJudge judge,
                             std::shared_ptr<EventNotifier> wake);
    ~LidLeaseSocketConnection() override;
    LidLeaseSocketConnection(const LidLeaseSocketConnection&) = delete;
    LidLeaseSocketConnection& operator=(const LidLeaseSocketConnection&) = delete;

    const PeerProcess& peer() const { return peer_; }

    bool peerMeets(const std::string& requirement) override;
    void resume(std::shared_ptr<const LidLeaseConnection> exported, std::function<void()> invalidated) override;

    // The listener's side.
    int fd() const;
    bool isOpen() const { return !ended_; }
    bool isResumed() const { return exported_ != nullptr; }
    bool mayRead() const;
    /// Decodes and dispatches one datagram. Returns false when the connection
    /// must end: the datagram is not a request of this protocol, the
    /// connection was never resumed, or the exported object threw.
    bool dispatch(std::span<const std::uint8_t> datagram);
    /// Closes the socket and, unless `quietly`, calls the invalidation handler
    /// (once, whatever happens later).
    void end(bool quietly = false);

private:
    struct Channel;
    class PendingReply;

    std::shared_ptr<Channel> channel_;
    PeerProcess peer_;
    PeerJudge judge_;
    std::shared_ptr<const LidLeaseConnection> exported_;
    std::function<void()> invalidated_;
    bool ended_ = false;
};

} // namespace staywake
