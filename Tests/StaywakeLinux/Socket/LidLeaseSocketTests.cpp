#include "StaywakeCore/LidHelper/LidLeaseListenerDelegate.h"
#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"
#include "StaywakeLinux/Socket/LidLeaseSocketListener.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "Support/Mailbox.h"
#include "Support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace staywake {
namespace {

using testing::Mailbox;
using namespace std::chrono_literals;
using Wire = LidLeaseWireMessage;
using Kind = LidLeaseRequest::Kind;
using Bytes = std::vector<std::uint8_t>;

/// What the listener delegate passed on.
struct Event {
    Kind kind = Kind::disconnect;
    LidLeaseClientNumber client = 0;
    double until = 0;
    LidLeaseReply reply;
};

/// Allows everyone at once: what polkit says is the helper's process tests' to see.
struct AllowingAuthority final : PeerAuthority {
    void check(const PeerProcess&, Answer answer) override { answer(std::nullopt); }
};

bool sent(int fd, const Bytes& datagram) {
    return SeqpacketSocket::send(fd, datagram) == SeqpacketSocket::SendOutcome::sent;
}

/// What arrives next on `fd` within 10 s.
SeqpacketSocket::Received receive(int fd) {
    pollfd polled{fd, POLLIN, 0};
    ::poll(&polled, 1, 10'000);
    return SeqpacketSocket::receive(fd, Wire::maximumSize);
}

bool closedByPeer(int fd) { return receive(fd).outcome == SeqpacketSocket::Received::Outcome::endOfStream; }

/// A client connection whose callbacks post to mailboxes.
struct RecordingClient {
    explicit RecordingClient(const std::string& path) : connection(path) {
        connection.setInvalidationHandler([this] { invalidations.post(true); });
    }
    void renew(double until) {
        connection.renewLease(
            until, [this](std::optional<std::string> text) { replies.post(std::move(text)); },
            [this](const std::string& description) { errors.post(description); });
    }
    void revoke() {
        connection.revokeLease([this] { replies.post(std::string("revoked")); },
                               [this](const std::string& description) { errors.post(description); });
    }

    Mailbox<std::optional<std::string>> replies;
    Mailbox<std::string> errors;
    Mailbox<bool> invalidations;
    LidLeaseClientConnection connection;
};

const std::optional<std::optional<std::string>> granted{std::in_place};

/// A listener (started by the test) on a socket in a temporary directory,
/// admitting connections through the real listener delegate, whose request
/// function posts every request for the test to answer when and where it likes.
class LidLeaseSocketTest : public ::testing::Test {
protected:
    void start(LidLeaseSocketListener::Limits limits = {}, UniqueFd socket = {}) {
        listener.reset();
        while (events.take(0ms)) { // what an earlier listener reported is of no interest
        }
        LidLeaseSocketListener::Guards guards;
        guards.authority = std::make_unique<AllowingAuthority>();
        guards.log = [this](const std::string& line) { logged.post(line); };
        guards.failed = [this](const std::string& why) { failures.post(why); };
        guards.limits = limits;
        listener = std::make_unique<LidLeaseSocketListener>(
            socket ? std::move(socket) : LidHelperListeningSocket::bound(path),
            [this](LidLeaseIncomingConnection& connection) {
                return delegate.shouldAcceptNewConnection(connection);
            },
            [this](const PeerProcess& peer, const std::string& requirement) {
                peers.post(peer.credentials());
                EXPECT_EQ(requirement, "the test's requirement");
                return accepting.load();
            },
            std::move(guards));
        listener->resume();
    }

    Event next(Kind kind) {
        auto event = events.take();
        EXPECT_TRUE(event && event->kind == kind) << "expected request kind " << static_cast<int>(kind);
        return event.value_or(Event{});
    }

    /// A raw client that has sent a revocation with this id, and its request as the listener saw it.
    std::pair<UniqueFd, Event> revokingClient(std::uint64_t id) {
        UniqueFd raw = SeqpacketSocket::connect(path);
        EXPECT_TRUE(sent(raw.get(), Wire::revokeLease(id).encode()));
        return {std::move(raw), next(Kind::revoke)};
    }

    /// The helper's end of the next connection to a bare listening socket.
    UniqueFd acceptOn(int listening) {
        pollfd polled{listening, POLLIN, 0};
        EXPECT_EQ(::poll(&polled, 1, 10'000), 1);
        return UniqueFd(::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    }

    testing::TemporaryDirectory directory;
    std::string path = (directory.path() / "lidhelper.sock").string();
    Mailbox<Event> events;
    Mailbox<PeerCredentials> peers;
    Mailbox<std::string> logged;
    Mailbox<std::string> failures;
    std::atomic<bool> accepting{true};
    LidLeaseListenerDelegate delegate{
        "the test's requirement",
        [this](LidLeaseClientNumber client, LidLeaseRequest request, LidLeaseReply reply) {
            const double until = request.kind() == Kind::renew ? request.until() : 0;
            events.post({request.kind(), client, until, std::move(reply)});
        }};
    std::unique_ptr<LidLeaseSocketListener> listener;
};

TEST_F(LidLeaseSocketTest, CarriesRequestsAndEachReplyOnceAnsweredFromOtherThreadsInAnyOrder) {
    start();
    RecordingClient client(path);
    client.connection.resume();
    client.renew(1'700'000'030.5);
    client.renew(2);
    Event first = next(Kind::renew);
    Event second = next(Kind::renew);
    EXPECT_EQ(first.until, 1'700'000'030.5);
    std::thread([&] { second.reply("The lease deadline is not a number."); }).join();
    std::thread([&] { first.reply(std::nullopt); }).join();
    // Sent again, a reply would end the client's connection as one it did not ask for.
    second.reply("again");
    first.reply(std::nullopt);
    EXPECT_EQ(client.replies.take(), std::optional<std::string>("The lease deadline is not a number."));
    EXPECT_EQ(client.replies.take(), granted);

    client.revoke();
    next(Kind::revoke).reply(std::nullopt);
    EXPECT_EQ(client.replies.take(), std::optional<std::string>("revoked"));
    const auto judged = peers.take().value_or(PeerCredentials{});
    EXPECT_EQ(judged.pid, ::getpid());
    EXPECT_EQ(judged.uid, ::geteuid());
    EXPECT_EQ(client.errors.size() + client.invalidations.size(), 0u);
}

TEST_F(LidLeaseSocketTest, AMalformedOrOversizedDatagramEndsOnlyItsOwnConnection) {
    start();
    RecordingClient bystander(path);
    bystander.connection.resume();
    bystander.renew(1);
    Event held = next(Kind::renew);
    const std::pair<const char*, Bytes> cases[] = {
        {"garbage", {'h', 'e', 'l', 'l', 'o'}},
        {"a reply where a request belongs", Wire::revokeLeaseReply(1).encode()},
        {"over the size limit", Bytes(Wire::maximumSize + 1, 'S')},
    };
    for (const auto& [name, datagram] : cases) {
        SCOPED_TRACE(name);
        UniqueFd raw = SeqpacketSocket::connect(path);
        ASSERT_TRUE(sent(raw.get(), datagram));
        EXPECT_NE(next(Kind::disconnect).client, held.client);
        EXPECT_TRUE(closedByPeer(raw.get()));
    }
    // The bystander's connection still works, even for its older request.
    held.reply(std::nullopt);
    EXPECT_EQ(bystander.replies.take(), granted);
    EXPECT_EQ(bystander.invalidations.size(), 0u);
}

TEST_F(LidLeaseSocketTest, TheEndOfAConnectionComesOnceAfterItsRequestsAndDropsLateReplies) {
    start();
    auto client = std::make_unique<RecordingClient>(path);
    client->connection.resume();
    client->renew(1);
    client->revoke();
    Event renewal = next(Kind::renew);
    Event revocation = next(Kind::revoke);
    client.reset();
    EXPECT_EQ(next(Kind::disconnect).client, renewal.client);
    renewal.reply(std::nullopt); // the connection is gone: dropped, not sent anywhere
    revocation.reply(std::nullopt);
    EXPECT_FALSE(events.take(200ms)); // no second end
}

TEST_F(LidLeaseSocketTest, ARefusedClientIsClosedBeforeAnythingIsRead) {
    start();
    accepting = false;
    RecordingClient refused(path);
    refused.connection.resume();
    refused.renew(1);
    EXPECT_TRUE(refused.errors.take());
    EXPECT_TRUE(refused.invalidations.take());
    EXPECT_EQ(peers.take().value_or(PeerCredentials{}).pid, ::getpid());
    EXPECT_EQ(events.size(), 0u); // nothing read, and no disconnect for a client never admitted
    refused.revoke();             // later requests on the ended connection fail too
    EXPECT_TRUE(refused.errors.take());
}

TEST_F(LidLeaseSocketTest, StopsReadingAClientWhoseRepliesPileUpAndStillSeesItHangUp) {
    start();
    UniqueFd raw = SeqpacketSocket::connect(path);
    constexpr std::size_t limit = LidLeaseSocketConnection::maximumPendingReplies;
    for (std::uint64_t id = 1; id <= limit + 1; ++id) {
        ASSERT_TRUE(sent(raw.get(), Wire::revokeLease(id).encode()));
    }
    std::vector<Event> waiting;
    for (std::size_t i = 0; i < limit; ++i) {
        waiting.push_back(next(Kind::revoke));
    }
    EXPECT_FALSE(events.take(300ms)); // the last stays in the socket
    waiting.front().reply(std::nullopt);
    EXPECT_EQ(Wire::decode(receive(raw.get()).bytes), Wire::revokeLeaseReply(1));
    next(Kind::revoke);
    raw.reset(); // at the limit again, with nothing left to read: the hang-up must still be seen
    next(Kind::disconnect);
}

TEST_F(LidLeaseSocketTest, ClosesAConnectionBeyondTheCapsAtOnceAndLogsWhy) {
    const std::string uid = std::to_string(::geteuid());
    const struct {
        std::size_t perUser;
        std::size_t inAll;
        std::string line;
    } cases[] = {
        {2, 10, "refused a connection from uid " + uid + ": this user has 2 connections already"},
        {10, 2, "refused a connection from uid " + uid + ": the helper serves 2 connections already"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        LidLeaseSocketListener::Limits limits;
        limits.connectionsPerUser = c.perUser;
        limits.connections = c.inAll;
        start(limits);
        // Requests left unanswered: a reply dropped unsent would close its connection.
        std::vector<std::pair<UniqueFd, Event>> admitted;
        admitted.push_back(revokingClient(1));
        admitted.push_back(revokingClient(2));
        EXPECT_TRUE(closedByPeer(SeqpacketSocket::connect(path).get()));
        EXPECT_EQ(logged.take(), c.line);
        admitted.pop_back(); // room again once one has gone
        next(Kind::disconnect);
        admitted.push_back(revokingClient(3));
    }
}

TEST_F(LidLeaseSocketTest, AListeningSocketThatFailsEndsTheListenerAndSaysSo) {
    UniqueFd socket = LidHelperListeningSocket::bound(path);
    const UniqueFd same(::dup(socket.get()));
    start({}, std::move(socket));
    ASSERT_EQ(::shutdown(same.get(), SHUT_RDWR), 0);
    EXPECT_EQ(failures.take(), std::optional<std::string>("the listening socket failed"));
}

TEST_F(LidLeaseSocketTest, AClientEndsTheConnectionOnAReplyItDidNotAskFor) {
    const std::pair<const char*, std::function<Bytes(const Wire& request)>> cases[] = {
        {"unknown request id", [](const Wire& r) { return Wire::renewLeaseReply(r.requestId + 1, "").encode(); }},
        {"reply of the other kind", [](const Wire& r) { return Wire::revokeLeaseReply(r.requestId).encode(); }},
        {"garbage", [](const Wire&) { return Bytes(3, 0xEE); }},
    };
    UniqueFd listening = LidHelperListeningSocket::bound(path);
    for (const auto& [name, reply] : cases) {
        SCOPED_TRACE(name);
        RecordingClient client(path);
        client.connection.resume();
        client.renew(1);
        UniqueFd accepted = acceptOn(listening.get());
        ASSERT_TRUE(sent(accepted.get(), reply(Wire::decode(receive(accepted.get()).bytes))));
        EXPECT_TRUE(client.errors.take());
        EXPECT_TRUE(client.invalidations.take());
        EXPECT_EQ(client.replies.size(), 0u);
    }
}

} // namespace
} // namespace staywake
