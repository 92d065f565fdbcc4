#include "StaywakeLinux/Socket/LidLeaseIncomingConnection.h"

#include "StaywakeLinux/Socket/EventNotifier.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "StaywakeLinux/SystemError.h"

#include <sys/socket.h>

#include <atomic>
#include <mutex>

namespace staywake {

/// The socket as the reply functions share it. Replies come from other threads
/// (the helper answers on its main thread), so the descriptor is only used and
/// closed under the lock: a late reply can never land on a reused descriptor.
struct LidLeaseIncomingConnection::Channel {
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
                delivered = SeqpacketSocket::send(socket.get(), reply.encode()) == SeqpacketSocket::SendOutcome::sent;
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

    void forget() {
        const std::lock_guard guard(lock);
        --pending;
        wake->notify();
    }
};

/// One request's reply: sent at most once, and its slot among the pending
/// replies given back even if the handler drops it unanswered.
class LidLeaseIncomingConnection::PendingReply {
public:
    PendingReply(std::shared_ptr<Channel> channel, std::uint64_t requestId)
        : channel_(std::move(channel)), requestId_(requestId) {}
    PendingReply(const PendingReply&) = delete;
    PendingReply& operator=(const PendingReply&) = delete;
    ~PendingReply() {
        if (!sent_.exchange(true)) {
            channel_->forget();
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

LidLeaseIncomingConnection::LidLeaseIncomingConnection(UniqueFd socket, PeerCredentials peer,
                                                       std::shared_ptr<EventNotifier> wake)
    : channel_(std::make_shared<Channel>()), peer_(peer) {
    channel_->socket = std::move(socket);
    channel_->wake = std::move(wake);
}

LidLeaseIncomingConnection::~LidLeaseIncomingConnection() { end(true); }

void LidLeaseIncomingConnection::setRequestHandlers(RenewHandler renew, RevokeHandler revoke) {
    renew_ = std::move(renew);
    revoke_ = std::move(revoke);
}

void LidLeaseIncomingConnection::setInvalidationHandler(std::function<void()> handler) {
    invalidation_ = std::move(handler);
}

int LidLeaseIncomingConnection::fd() const {
    const std::lock_guard guard(channel_->lock);
    return channel_->socket.get();
}

bool LidLeaseIncomingConnection::isOpen() const { return !ended_; }

bool LidLeaseIncomingConnection::mayRead() const {
    const std::lock_guard guard(channel_->lock);
    return channel_->pending < maximumPendingReplies;
}

bool LidLeaseIncomingConnection::dispatch(std::span<const std::uint8_t> datagram) {
    LidLeaseWireMessage request;
    try {
        request = LidLeaseWireMessage::decode(datagram);
    } catch (const LidLeaseWireMessage::Malformed&) {
        return false;
    }
    if (!request.isRequest() || !renew_ || !revoke_) {
        return false;
    }
    {
        const std::lock_guard guard(channel_->lock);
        ++channel_->pending;
    }
    auto reply = std::make_shared<PendingReply>(channel_, request.requestId);
    try {
        if (request.kind == LidLeaseWireMessage::Kind::renewLeaseUntil) {
            renew_(request.until, [reply](std::optional<std::string> text) {
                reply->send(LidLeaseWireMessage::renewLeaseReply(reply->requestId(), std::move(text)));
            });
        } else {
            revoke_([reply] { reply->send(LidLeaseWireMessage::revokeLeaseReply(reply->requestId())); });
        }
    } catch (...) {
        // The handler failed before it could promise a reply; the client
        // learns of it by the end of the connection rather than by silence.
        return false;
    }
    return true;
}

void LidLeaseIncomingConnection::end(bool quietly) {
    if (ended_) {
        return;
    }
    ended_ = true;
    {
        const std::lock_guard guard(channel_->lock);
        channel_->socket.reset();
    }
    renew_ = nullptr;
    revoke_ = nullptr;
    auto invalidation = std::move(invalidation_);
    invalidation_ = nullptr;
    if (!quietly && invalidation) {
        invalidation();
    }
}

} // namespace staywake
