#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"

#include "StaywakeLinux/Socket/EventNotifier.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "StaywakeLinux/Socket/UniqueFd.h"
#include "StaywakeLinux/SystemError.h"

#include <poll.h>

#include <cerrno>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace staywake {

struct LidLeaseClientConnection::Core {
    using Kind = LidLeaseWireMessage::Kind;

    struct Pending {
        Kind kind;
        RenewReply renewReply;
        RevokeReply revokeReply;
        ErrorHandler error;
    };

    enum class State { connecting, open, ended };

    explicit Core(std::string socketPath) : path(std::move(socketPath)) {}

    const std::string path;
    PeerRequirement requirement;
    std::function<void()> invalidationHandler;
    EventNotifier wake;
    std::thread thread;

    mutable std::mutex lock;
    // Guarded by `lock`:
    State state = State::connecting;
    bool stopping = false;
    bool invalidateRequested = false;
    std::optional<PeerCredentials> peer;
    std::uint64_t nextRequestId = 1;
    std::deque<LidLeaseWireMessage> outgoing;
    std::map<std::uint64_t, Pending> pending;
    std::vector<std::function<void()>> deliveries;

    // The connection's thread only:
    UniqueFd socket;
    bool sendBlocked = false;

    void request(LidLeaseWireMessage message, Pending handlers) {
        {
            const std::lock_guard guard(lock);
            if (state == State::ended) {
                deliveries.push_back(
                    [error = std::move(handlers.error)] { error("the connection to the lid helper has ended"); });
            } else {
                message.requestId = nextRequestId++;
                pending.emplace(message.requestId, std::move(handlers));
                outgoing.push_back(std::move(message));
            }
        }
        wake.notify();
    }

    /// Ends the connection once: every pending request fails with `reason`,
    /// then the invalidation handler runs. Caller holds `lock`.
    void endLocked(const std::string& reason) {
        if (state == State::ended) {
            return;
        }
        state = State::ended;
        socket.reset();
        outgoing.clear();
        for (auto& [id, handlers] : pending) {
            deliveries.push_back([error = std::move(handlers.error), reason] { error(reason); });
        }
        pending.clear();
        if (invalidationHandler) {
            deliveries.push_back(std::move(invalidationHandler));
            invalidationHandler = nullptr;
        }
    }

    void end(const std::string& reason) {
        const std::lock_guard guard(lock);
        endLocked(reason);
    }

    void connect() {
        PeerCredentials credentials;
        try {
            socket = SeqpacketSocket::connect(path);
            credentials = SeqpacketSocket::peerCredentials(socket.get());
        } catch (const SystemError& error) {
            end(error.what());
            return;
        }
        bool trusted = true;
        if (requirement) {
            try {
                trusted = requirement(credentials);
            } catch (...) {
                trusted = false;
            }
        }
        const std::lock_guard guard(lock);
        if (!trusted) {
            endLocked("the lid helper at " + path + " does not meet the requirement");
            return;
        }
        if (state == State::connecting) {
            state = State::open;
            peer = credentials;
        }
    }

    void sendOutgoing() {
        for (;;) {
            LidLeaseWireMessage message;
            {
                const std::lock_guard guard(lock);
                if (state != State::open || outgoing.empty()) {
                    return;
                }
                message = outgoing.front();
            }
            try {
                if (SeqpacketSocket::send(socket.get(), message.encode()) ==
                    SeqpacketSocket::SendOutcome::wouldBlock) {
                    sendBlocked = true;
                    return;
                }
            } catch (const SystemError& error) {
                end(error.what());
                return;
            }
            sendBlocked = false;
            const std::lock_guard guard(lock);
            if (!outgoing.empty()) {
                outgoing.pop_front();
            }
        }
    }

    void receiveReplies() {
        for (;;) {
            SeqpacketSocket::Received received;
            try {
                received = SeqpacketSocket::receive(socket.get(), LidLeaseWireMessage::maximumSize);
            } catch (const SystemError& error) {
                end(error.what());
                return;
            }
            using Outcome = SeqpacketSocket::Received::Outcome;
            switch (received.outcome) {
            case Outcome::wouldBlock:
                return;
            case Outcome::endOfStream:
                end("the lid helper closed the connection");
                return;
            case Outcome::oversized:
            case Outcome::ancillary:
                end("the lid helper sent a message this app does not understand");
                return;
            case Outcome::datagram:
                if (!deliver(received.bytes)) {
                    end("the lid helper sent a message this app does not understand");
                    return;
                }
                break;
            }
        }
    }

    /// Matches a reply with its request; false for anything that is not the
    /// reply to a request still waiting, of the request's kind.
    bool deliver(std::span<const std::uint8_t> datagram) {
        LidLeaseWireMessage reply;
        try {
            reply = LidLeaseWireMessage::decode(datagram);
        } catch (const LidLeaseWireMessage::Malformed&) {
            return false;
        }
        const std::lock_guard guard(lock);
        const auto found = pending.find(reply.requestId);
        if (found == pending.end()) {
            return false;
        }
        Pending& handlers = found->second;
        if (reply.kind == Kind::renewLeaseReply && handlers.kind == Kind::renewLeaseUntil) {
            deliveries.push_back([callback = std::move(handlers.renewReply),
                                  text = std::move(reply.text)]() mutable { callback(std::move(text)); });
        } else if (reply.kind == Kind::revokeLeaseReply && handlers.kind == Kind::revokeLease) {
            deliveries.push_back(std::move(handlers.revokeReply));
        } else {
            return false;
        }
        pending.erase(found);
        return true;
    }

    void run() {
        bool connected = false;
        for (;;) {
            std::vector<std::function<void()>> ready;
            bool stop = false;
            {
                const std::lock_guard guard(lock);
                if (invalidateRequested) {
                    endLocked("the connection to the lid helper was invalidated");
                }
                ready.swap(deliveries);
                stop = stopping && state == State::ended;
            }
            if (!connected) {
                connected = true;
                if (ready.empty() && !stop) {
                    connect();
                    continue;
                }
            }
            for (auto& callback : ready) {
                try {
                    callback();
                } catch (...) {
                    // A throwing callback is the caller's fault; it must not
                    // cost the other requests their answers.
                }
            }
            if (!ready.empty()) {
                continue;
            }
            if (stop) {
                return;
            }
            sendOutgoing();
            bool open = false;
            {
                const std::lock_guard guard(lock);
                open = state == State::open;
                if (!deliveries.empty()) {
                    continue;
                }
            }
            pollfd polled[2] = {{wake.fd(), POLLIN, 0}, {-1, 0, 0}};
            if (open) {
                polled[1] = {socket.get(), static_cast<short>(POLLIN | (sendBlocked ? POLLOUT : 0)), 0};
            }
            if (::poll(polled, 2, -1) < 0 && errno != EINTR) {
                end(SystemError("could not wait on the lid helper's socket", errno).what());
                continue;
            }
            if (polled[0].revents != 0) {
                wake.clear();
            }
            if (open && polled[1].revents != 0) {
                receiveReplies();
            }
        }
    }
};

LidLeaseClientConnection::LidLeaseClientConnection(std::string socketPath)
    : core_(std::make_shared<Core>(std::move(socketPath))) {}

LidLeaseClientConnection::~LidLeaseClientConnection() {
    {
        const std::lock_guard guard(core_->lock);
        core_->stopping = true;
        core_->invalidateRequested = true;
    }
    if (!core_->thread.joinable()) {
        // Never resumed: the thread still runs once, so that whatever was asked
        // gets its error where callbacks always run.
        resume();
    }
    core_->wake.notify();
    if (core_->thread.get_id() == std::this_thread::get_id()) {
        core_->thread.detach();
    } else if (core_->thread.joinable()) {
        core_->thread.join();
    }
}

void LidLeaseClientConnection::setPeerRequirement(PeerRequirement requirement) {
    core_->requirement = std::move(requirement);
}

void LidLeaseClientConnection::setInvalidationHandler(std::function<void()> handler) {
    const std::lock_guard guard(core_->lock);
    core_->invalidationHandler = std::move(handler);
}

void LidLeaseClientConnection::resume() {
    if (core_->thread.joinable()) {
        return;
    }
    // The thread keeps the core alive, so a callback may destroy this object.
    core_->thread = std::thread([core = core_] { core->run(); });
}

void LidLeaseClientConnection::renewLease(double until, RenewReply reply, ErrorHandler error) {
    core_->request(LidLeaseWireMessage::renewLeaseUntil(0, until),
                   {LidLeaseWireMessage::Kind::renewLeaseUntil, std::move(reply), nullptr, std::move(error)});
}

void LidLeaseClientConnection::revokeLease(RevokeReply reply, ErrorHandler error) {
    core_->request(LidLeaseWireMessage::revokeLease(0),
                   {LidLeaseWireMessage::Kind::revokeLease, nullptr, std::move(reply), std::move(error)});
}

bool LidLeaseClientConnection::hasEnded() const {
    const std::lock_guard guard(core_->lock);
    if (core_->state == Core::State::ended) {
        return true;
    }
    if (core_->state != Core::State::open) {
        return false;
    }
    // The socket is closed only under the lock, so it is still this connection's.
    pollfd probe{core_->socket.get(), POLLRDHUP, 0};
    return ::poll(&probe, 1, 0) == 1 && (probe.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
}

void LidLeaseClientConnection::invalidate() {
    {
        const std::lock_guard guard(core_->lock);
        core_->invalidateRequested = true;
    }
    core_->wake.notify();
}

std::optional<PeerCredentials> LidLeaseClientConnection::peer() const {
    const std::lock_guard guard(core_->lock);
    return core_->peer;
}

} // namespace staywake
