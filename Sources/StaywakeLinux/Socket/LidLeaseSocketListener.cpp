#include "StaywakeLinux/Socket/LidLeaseSocketListener.h"

#include "StaywakeLinux/Socket/EventNotifier.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "StaywakeLinux/SystemError.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace staywake {
namespace {

/// How long accepting rests after the process ran out of descriptors, so a
/// full descriptor table does not spin the thread.
constexpr int acceptRetryMilliseconds = 1000;

/// Calls an invalidation handler; a throwing one must not take the listener's
/// thread, and so every other connection, down with it.
void endConnection(LidLeaseSocketConnection& connection) {
    try {
        connection.end();
    } catch (...) {
    }
}

} // namespace

LidLeaseSocketListener::LidLeaseSocketListener(UniqueFd listeningSocket, AcceptHandler shouldAccept,
                                               LidLeaseSocketConnection::PeerJudge judge)
    : listening_(std::move(listeningSocket)), shouldAccept_(std::move(shouldAccept)), judge_(std::move(judge)),
      wake_(std::make_shared<EventNotifier>()) {}

LidLeaseSocketListener::~LidLeaseSocketListener() {
    stopping_ = true;
    wake_->notify();
    if (thread_.joinable()) {
        thread_.join();
    }
    for (auto& connection : connections_) {
        connection->end(true);
    }
}

void LidLeaseSocketListener::resume() {
    if (thread_.joinable()) {
        return;
    }
    try {
        thread_ = std::jthread([this] { run(); });
    } catch (const std::system_error& error) {
        throw SystemError("could not start the lease listener's thread", error.code().value());
    }
}

void LidLeaseSocketListener::run() {
    std::vector<pollfd> polled;
    while (!stopping_) {
        polled.clear();
        polled.push_back({wake_->fd(), POLLIN, 0});
        polled.push_back({acceptPaused_ ? -1 : listening_.get(), POLLIN, 0});
        for (const auto& connection : connections_) {
            // A connection whose replies are all pending is not read until the
            // helper catches up; its hang-up is still noticed.
            polled.push_back({connection->fd(), static_cast<short>(connection->mayRead() ? POLLIN : 0), 0});
        }
        const int ready = ::poll(polled.data(), polled.size(), acceptPaused_ ? acceptRetryMilliseconds : -1);
        if (ready < 0 && errno != EINTR) {
            // poll fails only for an invalid set, which cannot be retried away.
            break;
        }
        if (polled[0].revents != 0) {
            wake_->clear();
        }
        if (stopping_) {
            break;
        }
        if (acceptPaused_ && ready == 0) {
            acceptPaused_ = false;
        }
        // Connections first: the listening socket may add to the list.
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            if (polled[i + 2].revents != 0) {
                serve(*connections_[i]);
            }
        }
        const auto ended = std::remove_if(connections_.begin(), connections_.end(),
                                          [](const auto& connection) { return !connection->isOpen(); });
        if (ended != connections_.end()) {
            connections_.erase(ended, connections_.end());
            acceptPaused_ = false;
        }
        if (polled[1].revents != 0) {
            acceptPending();
        }
    }
}

void LidLeaseSocketListener::acceptPending() {
    for (;;) {
        UniqueFd socket(::accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!socket) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                acceptPaused_ = true;
            }
            // EAGAIN: all taken. ECONNABORTED and the like concern one client only.
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        PeerCredentials peer;
        try {
            peer = SeqpacketSocket::peerCredentials(socket.get());
        } catch (const SystemError&) {
            continue;
        }
        auto connection = std::make_unique<LidLeaseSocketConnection>(std::move(socket), peer, judge_, wake_);
        bool accepted = false;
        try {
            accepted = shouldAccept_(*connection);
        } catch (...) {
            accepted = false;
        }
        if (accepted) {
            connections_.push_back(std::move(connection));
        } else {
            // Refused before anything was read or promised: no invalidation.
            connection->end(true);
        }
    }
}

void LidLeaseSocketListener::serve(LidLeaseSocketConnection& connection) {
    while (connection.isOpen() && connection.mayRead()) {
        SeqpacketSocket::Received received;
        try {
            received = SeqpacketSocket::receive(connection.fd(), LidLeaseWireMessage::maximumSize);
        } catch (const SystemError&) {
            endConnection(connection);
            return;
        }
        switch (received.outcome) {
        case SeqpacketSocket::Received::Outcome::wouldBlock:
            return;
        case SeqpacketSocket::Received::Outcome::datagram:
            if (!connection.dispatch(received.bytes)) {
                endConnection(connection);
            }
            break;
        case SeqpacketSocket::Received::Outcome::endOfStream:
        case SeqpacketSocket::Received::Outcome::oversized:
        case SeqpacketSocket::Received::Outcome::ancillary:
            endConnection(connection);
            return;
        }
    }
    if (connection.isOpen() && !connection.mayRead()) {
        // Not reading until replies drain; a client that hung up meanwhile
        // ends now, so its lease is not kept while its requests wait.
        pollfd probe{connection.fd(), 0, 0};
        if (::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR)) != 0) {
            endConnection(connection);
        }
    }
}

} // namespace staywake
