#include "StaywakeLinux/Socket/LidLeaseSocketConnection.h"

#include "StaywakeLinux/Socket/EventNotifier.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "StaywakeLinux/SystemError.h"

#include <sys/socket.h>

#include <atomic>
#include <mutex>

namespace staywake {

/// The socket as the reply functions share it. Replies come from other threads
/// (the helper answers on its main thread), so the descriptor is only used and
/// closed under the lock: a late reply can never land on a reused descriptor.
struct LidLeaseSocketConnection::Channel {
    std::mutex lock;
    UniqueFd socket;
    std::size_t pending = 0;
    std::shared_ptr<EventNotifier> wake;

    void send(const LidLeaseWireMessage& reply) {
        const std::lock_guard guard(lock);
        --pending;
        if (socket) {
            bool delivered = false;
            try {
                delivered =
                    SeqpacketSocket::send(socket.get(), reply.encode()) == SeqpacketSocket::SendOutcome::sent;
            } catch (const SystemError&) {
            }
            // A full send buffer means the client is not reading its replies;
            // waiting for it would stall whichever thread is replying, so the
            // connection ends instead. The listener sees the shutdown as the end.
            if (!delivered) {
                ::shutdown(socket.get(), SHUT_RDWR);
            }
        }
        wake->notify();
    }

    /// A request that will never be answered: the client sees the
    /// connection end rather than wait for a reply.
    void abandon() {
        const std::lock_guard guard(lock);
        --pending;
        if (socket) {
            ::shutdown(socket.get(), SHUT_RDWR);
        }
        wake->notify();
    }
};

/// One request's reply: sent at most once, and its slot among the pending
/// replies given back even if the request is dropped unanswered.
class LidLeaseSocketConnection::PendingReply {
public:
    PendingReply(std::shared_ptr<Channel> channel, std::uint64_t requestId)
        : channel_(std::move(channel)), requestId_(requestId) {}
    PendingReply(const PendingReply&) = delete;
    PendingReply& operator=(const PendingReply&) = delete;
    ~PendingReply() {
        if (!sent_.exchange(true)) {
            channel_->abandon();
        }
    }

    void send(const LidLeaseWireMessage& reply) {
        if (!sent_.exchange(true)) {
            channel_->send(reply);
        }
    }
    std::uint64_t requestId() const { return requestId_; }

private:
    std::shared_ptr<Channel> channel_;
    std::uint64_t requestId_;
    std::atomic<bool> sent_{false};
};

LidLeaseSocketConnection::LidLeaseSocketConnection(UniqueFd socket, PeerProcess peer, PeerJudge judge,
                                                   std::shared_ptr<EventNotifier> wake)
    : channel_(std::make_shared<Channel>()), peer_(std::move(peer)), judge_(std::move(judge)) {
    channel_->socket = std::move(socket);
    channel_->wake = std::move(wake);
}

LidLeaseSocketConnection::~LidLeaseSocketConnection() { end(true); }

bool LidLeaseSocketConnection::peerMeets(const std::string& requirement) {
    // Without a judge nobody can be checked, so nobody meets anything.
    return judge_ && judge_(peer_, requirement);
}

void LidLeaseSocketConnection::resume(std::shared_ptr<const LidLeaseConnection> exported,
                                      std::function<void()> invalidated) {
    exported_ = std::move(exported);
    invalidated_ = std::move(invalidated);
}

int LidLeaseSocketConnection::fd() const {
    const std::lock_guard guard(channel_->lock);
    return channel_->socket.get();
}

bool LidLeaseSocketConnection::mayRead() const {
    const std::lock_guard guard(channel_->lock);
    return channel_->pending < maximumPendingReplies;
}

bool LidLeaseSocketConnection::dispatch(std::span<const std::uint8_t> datagram) {
    LidLeaseWireMessage request;
    try {
        request = LidLeaseWireMessage::decode(datagram);
    } catch (const LidLeaseWireMessage::Malformed&) {
        return false;
    }
    if (!request.isRequest() || !exported_) {
        return false;
    }
    {
        const std::lock_guard guard(channel_->lock);
        ++channel_->pending;
    }
    auto reply = std::make_shared<PendingReply>(channel_, request.requestId);
    try {
        if (request.kind == LidLeaseWireMessage::Kind::renewLeaseUntil) {
            exported_->renewLease(request.until, [reply](std::optional<std::string> text) {
                reply->send(LidLeaseWireMessage::renewLeaseReply(reply->requestId(), std::move(text)));
            });
        } else {
            exported_->revokeLease(
                [reply] { reply->send(LidLeaseWireMessage::revokeLeaseReply(reply->requestId())); });
        }
    } catch (...) {
        // The request could not even be queued; the client learns of it by the
        // end of the connection rather than by silence.
        return false;
    }
    return true;
}

void LidLeaseSocketConnection::end(bool quietly) {
    if (ended_) {
        return;
    }
    ended_ = true;
    {
        const std::lock_guard guard(channel_->lock);
        channel_->socket.reset();
    }
    exported_ = nullptr;
    auto invalidated = std::move(invalidated_);
    invalidated_ = nullptr;
    if (!quietly && invalidated) {
        invalidated();
    }
}

} // namespace staywake
