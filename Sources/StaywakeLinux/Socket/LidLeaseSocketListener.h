#pragma once

#include "StaywakeLinux/Socket/LidLeaseSocketConnection.h"
#include "StaywakeLinux/Socket/UniqueFd.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace staywake {

class EventNotifier;

/// Serves the lease protocol on a listening AF_UNIX SOCK_SEQPACKET socket, on a
/// thread of its own.
///
/// Each new connection is shown to the accept handler (the listener delegate)
/// before a single datagram of it is read; a refused one is closed at once, and
/// so is one that was accepted without being resumed, at its first datagram. An accepted connection's
/// datagrams are decoded one by one and handed to its request handlers; a
/// datagram that is not exactly one request of this protocol, or is longer than
/// the limit, ends that connection and no other. The end of a connection, for
/// whatever reason, reaches its invalidation handler once.
///
/// Every handler runs on the listener's thread; one that throws is treated as a
/// refusal (accept handler) or ends its own connection (request handlers).
class LidLeaseSocketListener {
public:
    using AcceptHandler = std::function<bool(LidLeaseIncomingConnection& connection)>;

    /// Takes a listening socket (see LidHelperListeningSocket), and the judge
    /// each connection's `peerMeets` asks. Nothing happens until `resume`.
    LidLeaseSocketListener(UniqueFd listeningSocket, AcceptHandler shouldAccept,
                           LidLeaseSocketConnection::PeerJudge judge);
    /// Stops the thread and closes every connection, without calling their
    /// invalidation handlers.
    ~LidLeaseSocketListener();
    LidLeaseSocketListener(const LidLeaseSocketListener&) = delete;
    LidLeaseSocketListener& operator=(const LidLeaseSocketListener&) = delete;

    /// Starts accepting on the listener's thread. Throws SystemError when the
    /// thread cannot start.
    void resume();

private:
    void run();
    void acceptPending();
    void serve(LidLeaseSocketConnection& connection);

    UniqueFd listening_;
    AcceptHandler shouldAccept_;
    LidLeaseSocketConnection::PeerJudge judge_;
    std::shared_ptr<EventNotifier> wake_;
    std::vector<std::unique_ptr<LidLeaseSocketConnection>> connections_;
    std::atomic<bool> stopping_{false};
    bool acceptPaused_ = false;
    std::jthread thread_;
};

} // namespace staywake
