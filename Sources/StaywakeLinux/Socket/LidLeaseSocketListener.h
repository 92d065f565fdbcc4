#pragma once

#include "StaywakeLinux/Socket/ConnectionRefusals.h"
#include "StaywakeLinux/Socket/LidLeaseSocketConnection.h"
#include "StaywakeLinux/Socket/PeerAuthority.h"
#include "StaywakeLinux/Socket/UniqueFd.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace staywake {

class EventNotifier;

/// Serves the lease protocol on a listening AF_UNIX SOCK_SEQPACKET socket, on a
/// thread of its own, to every local user, so every input is bounded:
///
/// - A new connection beyond `connectionsPerUser` for its uid, or beyond
///   `connections` in all, is closed at once; at most `acceptsPerTurn` are
///   accepted between two rounds of serving the established ones. One spare
///   descriptor is kept, so a full descriptor table still lets the listener
///   take a connection off the queue and close it.
/// - Each connection's process is pinned by its pidfd and shown to the
///   authority (polkit); nothing of it is read until the authority allows
///   it, and a connection with no answer after `authorizationSeconds` is
///   refused. Only then is it shown to the accept handler (the listener
///   delegate, which checks the program the process runs); a refused one
///   is closed, and so is one that was accepted without being resumed, at its
///   first datagram.
/// - Every refusal is counted for its uid and logged through
///   ConnectionRefusals, at most a line a minute per uid.
/// - An accepted connection's datagrams are decoded one by one and handed to
///   its request handlers; a datagram that is not exactly one request of this
///   protocol, or is longer than the limit, or a handler that throws, ends
///   that connection and no other. The end of a connection, for whatever
///   reason, reaches its invalidation handler once.
/// - When the listener cannot go on (its socket failed, or waiting failed),
///   its thread ends and `failed` is called once, from that thread.
///
/// Every handler runs on the listener's thread.
class LidLeaseSocketListener {
public:
    using AcceptHandler = std::function<bool(LidLeaseIncomingConnection& connection)>;

    struct Limits {
        std::size_t connectionsPerUser = 4;
        std::size_t connections = 64;
        std::size_t acceptsPerTurn = 32;
        double authorizationSeconds = 1.0;
    };
    struct Guards {
        /// Absent: every connection is refused.
        std::unique_ptr<PeerAuthority> authority;
        /// The log lines about refusals.
        std::function<void(const std::string& line)> log;
        /// Why the listener stopped for good.
        std::function<void(const std::string& why)> failed;
        Limits limits;
    };

    /// Takes a listening socket (see LidHelperListeningSocket), and the judge
    /// each connection's `peerMeets` asks. Nothing happens until `resume`.
    LidLeaseSocketListener(UniqueFd listeningSocket, AcceptHandler shouldAccept,
                           LidLeaseSocketConnection::PeerJudge judge, Guards guards);
    /// Stops the thread and closes every connection, without calling their
    /// invalidation handlers.
    ~LidLeaseSocketListener();
    LidLeaseSocketListener(const LidLeaseSocketListener&) = delete;
    LidLeaseSocketListener& operator=(const LidLeaseSocketListener&) = delete;

    /// Starts accepting on the listener's thread. Throws SystemError when the
    /// thread cannot start.
    void resume();

    /// How many connections fit in `descriptorLimit` open descriptors when
    /// `reserved` of them stay for everything else, the restore of the sleep
    /// setting included: each connection holds its socket and its pidfd.
    static std::size_t connectionsWithin(std::size_t descriptorLimit, std::size_t reserved);

private:
    struct Client {
        std::unique_ptr<LidLeaseSocketConnection> connection;
        uid_t uid = 0;
        std::uint64_t serial = 0;
        /// While the authority has not answered: when it is too late.
        std::optional<double> authorizeBy;
    };

    void run();
    void turn();
    void acceptPending();
    void admit(UniqueFd socket);
    void authorized(std::uint64_t serial, std::optional<std::string> refusal);
    void serve(LidLeaseSocketConnection& connection);
    void refuse(uid_t uid, const std::string& reason);
    int pollTimeout(double now) const;

    UniqueFd listening_;
    AcceptHandler shouldAccept_;
    LidLeaseSocketConnection::PeerJudge judge_;
    Guards guards_;
    std::shared_ptr<EventNotifier> wake_;
    std::vector<Client> clients_;
    std::uint64_t lastSerial_ = 0;
    ConnectionRefusals refusals_;
    UniqueFd spare_;
    std::atomic<bool> stopping_{false};
    bool acceptPaused_ = false;
    std::jthread thread_;
};

} // namespace staywake
