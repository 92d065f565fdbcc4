#include "StaywakeLinux/Socket/LidLeaseSocketListener.h"

#include "StaywakeLinux/Socket/EventNotifier.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "StaywakeLinux/SystemError.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <system_error>

namespace staywake {
namespace {

/// How long accepting rests when not even the spare descriptor helps, so a
/// full descriptor table does not spin the thread.
constexpr int acceptRetryMilliseconds = 1000;

/// The listening socket, the authority's descriptor, and then the clients.
constexpr std::size_t firstClient = 3;

double monotonicNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int millisecondsUntil(double due, double now) {
    return due <= now ? 0 : static_cast<int>(std::min(std::ceil((due - now) * 1000), 3'600'000.0));
}

/// Calls an invalidation handler; a throwing one must not take the listener's
/// thread, and so every other connection, down with it.
void endConnection(LidLeaseSocketConnection& connection) {
    try {
        connection.end();
    } catch (...) {
    }
}

UniqueFd openSpare() { return UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC)); }

} // namespace

LidLeaseSocketListener::LidLeaseSocketListener(UniqueFd listeningSocket, AcceptHandler shouldAccept,
                                               LidLeaseSocketConnection::PeerJudge judge, Guards guards)
    : listening_(std::move(listeningSocket)), shouldAccept_(std::move(shouldAccept)), judge_(std::move(judge)),
      guards_(std::move(guards)), wake_(std::make_shared<EventNotifier>()), spare_(openSpare()) {}

LidLeaseSocketListener::~LidLeaseSocketListener() {
    stopping_ = true;
    wake_->notify();
    if (thread_.joinable()) {
        thread_.join();
    }
    for (auto& client : clients_) {
        client.connection->end(true);
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

std::size_t LidLeaseSocketListener::connectionsWithin(std::size_t descriptorLimit, std::size_t reserved) {
    return descriptorLimit > reserved ? (descriptorLimit - reserved) / 2 : 0;
}

void LidLeaseSocketListener::run() {
    std::string why;
    try {
        while (!stopping_) {
            turn();
        }
        return;
    } catch (const std::exception& error) {
        why = error.what();
    } catch (...) {
        why = "an unknown failure";
    }
    if (guards_.failed && !stopping_) {
        guards_.failed(why);
    }
}

void LidLeaseSocketListener::turn() {
    std::vector<pollfd> polled;
    polled.push_back({wake_->fd(), POLLIN, 0});
    polled.push_back({acceptPaused_ ? -1 : listening_.get(), POLLIN, 0});
    polled.push_back(guards_.authority ? guards_.authority->pollDescriptor() : pollfd{-1, 0, 0});
    for (const auto& client : clients_) {
        // Nothing is read before the authority answers, nor while a
        // connection's replies are all pending; a hang-up is always noticed.
        const bool reads = !client.authorizeBy && client.connection->mayRead();
        polled.push_back({client.connection->fd(), static_cast<short>((reads ? POLLIN : 0) | POLLRDHUP), 0});
    }
    const int ready = ::poll(polled.data(), polled.size(), pollTimeout(monotonicNow()));
    if (ready < 0 && errno != EINTR) {
        throw SystemError("could not wait for connections", errno);
    }
    if (polled[0].revents != 0) {
        wake_->clear();
    }
    if (stopping_) {
        return;
    }
    if ((polled[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        throw std::runtime_error("the listening socket failed");
    }
    if (acceptPaused_ && ready == 0) {
        acceptPaused_ = false;
    }
    if (guards_.authority) {
        guards_.authority->process();
    }
    const double now = monotonicNow();
    const std::size_t polledClients = polled.size() - firstClient;
    for (std::size_t i = 0; i < polledClients; ++i) {
        Client& client = clients_[i];
        if (!client.connection->isOpen()) {
            continue;
        }
        if (client.authorizeBy) {
            if ((polled[i + firstClient].revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0) {
                // Gone before it was admitted: nothing to refuse, nobody to tell.
                client.connection->end(true);
            } else if (now >= *client.authorizeBy) {
                client.connection->end(true);
                refuse(client.uid, "polkit did not answer in time");
            }
            continue;
        }
        if (polled[i + firstClient].revents != 0) {
            try {
                serve(*client.connection);
            } catch (...) {
                // Whatever went wrong with one connection ends that one only.
                endConnection(*client.connection);
            }
        }
    }
    const auto ended = std::remove_if(clients_.begin(), clients_.end(),
                                      [](const Client& client) { return !client.connection->isOpen(); });
    if (ended != clients_.end()) {
        clients_.erase(ended, clients_.end());
        acceptPaused_ = false;
    }
    if ((polled[1].revents & POLLIN) != 0) {
        acceptPending();
    }
    for (const auto& line : refusals_.flush(monotonicNow())) {
        if (guards_.log) {
            guards_.log(line);
        }
    }
}

int LidLeaseSocketListener::pollTimeout(double now) const {
    int timeout = acceptPaused_ ? acceptRetryMilliseconds : -1;
    const auto sooner = [&](int milliseconds) {
        if (milliseconds >= 0 && (timeout < 0 || milliseconds < timeout)) {
            timeout = milliseconds;
        }
    };
    if (guards_.authority) {
        sooner(guards_.authority->timeoutMilliseconds());
    }
    for (const auto& client : clients_) {
        if (client.authorizeBy) {
            sooner(millisecondsUntil(*client.authorizeBy, now));
        }
    }
    if (const auto flush = refusals_.nextFlush()) {
        sooner(millisecondsUntil(*flush, now));
    }
    return timeout;
}

void LidLeaseSocketListener::acceptPending() {
    // A bounded number per turn, so that a flood of connections cannot keep
    // the established ones from being served.
    for (std::size_t accepted = 0; accepted < guards_.limits.acceptsPerTurn; ++accepted) {
        UniqueFd socket(::accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (socket) {
            admit(std::move(socket));
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) {
            continue;
        }
        if ((errno == EMFILE || errno == ENFILE) && spare_) {
            // The spare makes room to take the connection off the queue and
            // close it, so the queue cannot hold the listener busy.
            spare_.reset();
            UniqueFd dropped(::accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (dropped) {
                ucred credentials{};
                socklen_t size = sizeof credentials;
                ::getsockopt(dropped.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &size);
                dropped.reset();
                refuse(credentials.uid, "the helper has no descriptor to spare");
            }
            spare_ = openSpare();
            if (spare_) {
                continue;
            }
        }
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            acceptPaused_ = true;
        }
        // EAGAIN: all taken.
        return;
    }
}

void LidLeaseSocketListener::admit(UniqueFd socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        return;
    }
    const uid_t uid = credentials.uid;
    const auto fromUser =
        static_cast<std::size_t>(std::count_if(clients_.begin(), clients_.end(), [&](const Client& client) {
            return client.uid == uid && client.connection->isOpen();
        }));
    if (fromUser >= guards_.limits.connectionsPerUser) {
        refuse(uid, "this user has " + std::to_string(fromUser) + " connections already");
        return;
    }
    if (clients_.size() >= guards_.limits.connections) {
        refuse(uid, "the helper serves " + std::to_string(clients_.size()) + " connections already");
        return;
    }
    auto peer = PeerProcess::ofSocket(socket.get());
    if (!peer) {
        refuse(uid, "the connecting process could not be pinned");
        return;
    }
    if (!guards_.authority) {
        refuse(uid, "nobody can authorize it");
        return;
    }
    const std::uint64_t serial = ++lastSerial_;
    auto connection =
        std::make_unique<LidLeaseSocketConnection>(std::move(socket), std::move(*peer), judge_, wake_);
    const PeerProcess& pinned = connection->peer();
    clients_.push_back(
        Client{std::move(connection), uid, serial, monotonicNow() + guards_.limits.authorizationSeconds});
    guards_.authority->check(
        pinned, [this, serial](std::optional<std::string> refusal) { authorized(serial, std::move(refusal)); });
}

void LidLeaseSocketListener::authorized(std::uint64_t serial, std::optional<std::string> refusal) {
    const auto client = std::find_if(clients_.begin(), clients_.end(),
                                     [&](const Client& candidate) { return candidate.serial == serial; });
    if (client == clients_.end() || !client->authorizeBy || !client->connection->isOpen()) {
        return;
    }
    client->authorizeBy.reset();
    if (refusal) {
        client->connection->end(true);
        refuse(client->uid, *refusal);
        return;
    }
    bool accepted = false;
    try {
        accepted = shouldAccept_(*client->connection);
    } catch (...) {
        accepted = false;
    }
    if (!accepted) {
        // Refused before anything was read or promised: no invalidation.
        client->connection->end(true);
        refuse(client->uid, "its program is not the Staywake app where only root can change it");
    }
}

void LidLeaseSocketListener::refuse(uid_t uid, const std::string& reason) {
    for (const auto& line : refusals_.refuse(uid, reason, monotonicNow())) {
        if (guards_.log) {
            guards_.log(line);
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
        pollfd probe{connection.fd(), POLLRDHUP, 0};
        if (::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0) {
            endConnection(connection);
        }
    }
}

} // namespace staywake
