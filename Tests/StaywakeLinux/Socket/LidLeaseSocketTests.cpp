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
#include <cmath>
#include <limits>
#include <thread>
#include <variant>

namespace staywake {
namespace {

using testing::Mailbox;
using testing::TemporaryDirectory;
using namespace std::chrono_literals;

/// What the listener delegate passed on, in order.
struct Renewal {
    LidLeaseClientNumber client;
    double until;
    LidLeaseReply reply;
};
struct Revocation {
    LidLeaseClientNumber client;
    LidLeaseReply reply;
};
struct Ended {
    LidLeaseClientNumber client;
};
using ServerEvent = std::variant<Renewal, Revocation, Ended>;

/// Allows everyone at once: what polkit says is the helper's process tests' to see.
struct AllowingAuthority final : PeerAuthority {
    void check(const PeerProcess&, Answer answer) override { answer(std::nullopt); }
};

/// A listener on a socket in a temporary directory, admitting connections
/// through the real listener delegate; the request function posts every
/// request to a mailbox, so each test answers them when and where it likes.
class ListenerFixture : public ::testing::Test {
protected:
    void SetUp() override { start(guards()); }

    /// (Re)starts the listener with these guards, on a socket of its own or
    /// the one given.
    void start(LidLeaseSocketListener::Guards guarding, UniqueFd socket = {}) {
        listener.reset();
        // What the previous listener reported is of no interest to the next.
        while (events.take(std::chrono::milliseconds(0))) {
        }
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
            std::move(guarding));
        listener->resume();
    }

    virtual LidLeaseSocketListener::Guards guards() {
        LidLeaseSocketListener::Guards guards;
        guards.authority = std::make_unique<AllowingAuthority>();
        guards.log = [this](const std::string& line) { logged.post(line); };
        guards.failed = [this](const std::string& why) { failures.post(why); };
        return guards;
    }

    LidLeaseRequestFunction requests = [this](LidLeaseClientNumber client, LidLeaseRequest request,
                                              LidLeaseReply reply) {
        switch (request.kind()) {
        case LidLeaseRequest::Kind::renew:
            events.post(Renewal{client, request.until(), std::move(reply)});
            break;
        case LidLeaseRequest::Kind::revoke:
            events.post(Revocation{client, std::move(reply)});
            break;
        case LidLeaseRequest::Kind::disconnect:
            events.post(Ended{client});
            break;
        }
    };

    template <typename T> T next() {
        auto event = events.take();
        if (!event) {
            ADD_FAILURE() << "the listener reported nothing";
            return T{};
        }
        if (!std::holds_alternative<T>(*event)) {
            ADD_FAILURE() << "the listener reported event " << event->index();
            return T{};
        }
        return std::get<T>(std::move(*event));
    }

    UniqueFd rawClient() { return SeqpacketSocket::connect(path); }

    static std::optional<LidLeaseWireMessage> readReply(int fd) {
        pollfd polled{fd, POLLIN, 0};
        if (::poll(&polled, 1, 10'000) != 1) {
            return std::nullopt;
        }
        auto received = SeqpacketSocket::receive(fd, LidLeaseWireMessage::maximumSize);
        if (received.outcome != SeqpacketSocket::Received::Outcome::datagram) {
            return std::nullopt;
        }
        return LidLeaseWireMessage::decode(received.bytes);
    }

    /// The listener closed the connection, read or unread.
    static bool hungUp(int fd) {
        pollfd polled{fd, POLLRDHUP, 0};
        return ::poll(&polled, 1, 10'000) == 1 && (polled.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
    }

    static bool peerClosed(int fd) {
        pollfd polled{fd, POLLIN, 0};
        if (::poll(&polled, 1, 10'000) != 1) {
            return false;
        }
        return SeqpacketSocket::receive(fd, LidLeaseWireMessage::maximumSize).outcome ==
               SeqpacketSocket::Received::Outcome::endOfStream;
    }

    TemporaryDirectory directory;
    std::string path = (directory.path() / "lidhelper.sock").string();
    Mailbox<ServerEvent> events;
    Mailbox<PeerCredentials> peers;
    Mailbox<std::string> logged;
    Mailbox<std::string> failures;
    std::atomic<bool> accepting{true};
    LidLeaseListenerDelegate delegate{"the test's requirement", requests};
    std::unique_ptr<LidLeaseSocketListener> listener;
};

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

TEST_F(ListenerFixture, CarriesBothRequestsAndTheirRepliesBetweenClientAndListener) {
    RecordingClient client(path);
    client.connection.resume();

    const double deadlines[] = {1'700'000'030.5, 0, std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()};
    for (const double until : deadlines) {
        client.renew(until);
        Renewal renewal = next<Renewal>();
        EXPECT_EQ(std::isnan(renewal.until), std::isnan(until));
        if (!std::isnan(until)) {
            EXPECT_EQ(renewal.until, until);
        }
        renewal.reply(std::nullopt);
        EXPECT_EQ(client.replies.take(), std::optional<std::optional<std::string>>(std::in_place));
    }

    client.renew(5);
    next<Renewal>().reply("The lease deadline is not a number.");
    EXPECT_EQ(client.replies.take(), std::optional<std::string>("The lease deadline is not a number."));

    client.revoke();
    next<Revocation>().reply(std::nullopt);
    EXPECT_EQ(client.replies.take(), std::optional<std::string>("revoked"));

    const auto peer = client.connection.peer();
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->pid, ::getpid());
    const auto seenByListener = peers.take();
    ASSERT_TRUE(seenByListener);
    EXPECT_EQ(seenByListener->pid, ::getpid());
    EXPECT_EQ(seenByListener->uid, ::geteuid());
    EXPECT_EQ(client.errors.size(), 0u);
}

TEST_F(ListenerFixture, MatchesRepliesSentFromOtherThreadsInAnyOrder) {
    RecordingClient client(path);
    client.connection.resume();
    client.renew(1);
    client.renew(2);
    Renewal first = next<Renewal>();
    Renewal second = next<Renewal>();
    std::thread([&] { second.reply("second"); }).join();
    std::thread([&] { first.reply("first"); }).join();
    EXPECT_EQ(client.replies.take(), std::optional<std::string>("second"));
    EXPECT_EQ(client.replies.take(), std::optional<std::string>("first"));
}

TEST_F(ListenerFixture, SendsEachReplyOnceHoweverOftenItIsCalled) {
    UniqueFd raw = rawClient();
    ASSERT_EQ(SeqpacketSocket::send(raw.get(), LidLeaseWireMessage::renewLeaseUntil(7, 1).encode()),
              SeqpacketSocket::SendOutcome::sent);
    Renewal renewal = next<Renewal>();
    // The delegate's request function promises one call; the transport holds
    // to "exactly once" even if a caller breaks that promise.
    renewal.reply("once");
    renewal.reply("twice");
    renewal.reply(std::nullopt);
    EXPECT_EQ(readReply(raw.get()), LidLeaseWireMessage::renewLeaseReply(7, "once"));

    // The next reply on the wire is the next request's, not a repeat.
    ASSERT_EQ(SeqpacketSocket::send(raw.get(), LidLeaseWireMessage::revokeLease(8).encode()),
              SeqpacketSocket::SendOutcome::sent);
    next<Revocation>().reply(std::nullopt);
    EXPECT_EQ(readReply(raw.get()), LidLeaseWireMessage::revokeLeaseReply(8));
}

TEST_F(ListenerFixture, AMalformedOrOversizedDatagramEndsOnlyItsOwnConnection) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> datagram;
    };
    auto wrongVersion = LidLeaseWireMessage::revokeLease(1).encode();
    wrongVersion[4] = 9;
    const Case cases[] = {
        {"garbage", {'h', 'e', 'l', 'l', 'o'}},
        {"another version", wrongVersion},
        {"a reply where a request belongs", LidLeaseWireMessage::revokeLeaseReply(1).encode()},
        {"over the size limit", std::vector<std::uint8_t>(LidLeaseWireMessage::maximumSize + 1, 'S')},
    };
    RecordingClient bystander(path);
    bystander.connection.resume();
    bystander.renew(1);
    Renewal held = next<Renewal>();
    const LidLeaseClientNumber bystanderNumber = held.client;

    for (const auto& [name, datagram] : cases) {
        SCOPED_TRACE(name);
        UniqueFd raw = rawClient();
        ASSERT_EQ(SeqpacketSocket::send(raw.get(), datagram), SeqpacketSocket::SendOutcome::sent);
        const Ended ended = next<Ended>();
        EXPECT_NE(ended.client, bystanderNumber);
        EXPECT_TRUE(peerClosed(raw.get()));
    }

    // The bystander's connection still works, even for its older request.
    held.reply(std::nullopt);
    EXPECT_EQ(bystander.replies.take(), std::optional<std::optional<std::string>>(std::in_place));
    bystander.revoke();
    next<Revocation>().reply(std::nullopt);
    EXPECT_EQ(bystander.replies.take(), std::optional<std::string>("revoked"));
    EXPECT_EQ(bystander.invalidations.size(), 0u);
}

TEST_F(ListenerFixture, TheEndOfAConnectionComesOnceAfterItsRequestsAndDropsLateReplies) {
    auto client = std::make_unique<RecordingClient>(path);
    client->connection.resume();
    client->renew(1);
    client->revoke();
    Renewal renewal = next<Renewal>();
    Revocation revocation = next<Revocation>();
    client.reset(); // the client's pending requests fail on its side

    const Ended ended = next<Ended>();
    EXPECT_EQ(ended.client, renewal.client);
    renewal.reply(std::nullopt); // the connection is gone: dropped, not sent anywhere
    revocation.reply(std::nullopt);
    EXPECT_FALSE(events.take(200ms)); // no second end
}

TEST_F(ListenerFixture, ARefusedClientIsClosedBeforeAnythingIsReadAndUsesNoClientNumber) {
    accepting = false;
    RecordingClient refused(path);
    refused.connection.resume();
    refused.renew(1);
    EXPECT_TRUE(refused.errors.take());
    EXPECT_TRUE(refused.invalidations.take());
    const auto judged = peers.take();
    ASSERT_TRUE(judged);
    EXPECT_EQ(judged->pid, ::getpid());
    EXPECT_EQ(events.size(), 0u); // nothing read, and no disconnect for a client never admitted

    // Later requests on the ended connection fail too, on the client's thread.
    refused.revoke();
    EXPECT_TRUE(refused.errors.take());

    accepting = true;
    RecordingClient admitted(path);
    admitted.connection.resume();
    admitted.renew(1);
    EXPECT_EQ(next<Renewal>().client, 1u);
}

TEST_F(ListenerFixture, StopsReadingAClientWhoseRepliesPileUp) {
    UniqueFd raw = rawClient();
    constexpr std::size_t limit = LidLeaseSocketConnection::maximumPendingReplies;
    for (std::uint64_t id = 1; id <= limit + 4; ++id) {
        ASSERT_EQ(SeqpacketSocket::send(raw.get(), LidLeaseWireMessage::revokeLease(id).encode()),
                  SeqpacketSocket::SendOutcome::sent);
    }
    std::vector<Revocation> waiting;
    for (std::size_t i = 0; i < limit; ++i) {
        waiting.push_back(next<Revocation>());
    }
    EXPECT_FALSE(events.take(300ms)); // the rest stay in the socket
    waiting.front().reply(std::nullopt);
    EXPECT_TRUE(readReply(raw.get()));
    EXPECT_TRUE(std::holds_alternative<Revocation>(events.take().value_or(Ended{})));
}

TEST_F(ListenerFixture, AClientThatHangsUpWhileItsRepliesPileUpStillEnds) {
    UniqueFd raw = rawClient();
    constexpr std::size_t limit = LidLeaseSocketConnection::maximumPendingReplies;
    for (std::uint64_t id = 1; id <= limit; ++id) {
        ASSERT_EQ(SeqpacketSocket::send(raw.get(), LidLeaseWireMessage::revokeLease(id).encode()),
                  SeqpacketSocket::SendOutcome::sent);
    }
    for (std::size_t i = 0; i < limit; ++i) {
        next<Revocation>();
    }
    raw.reset();
    EXPECT_TRUE(std::holds_alternative<Ended>(events.take().value_or(Renewal{})));
}

TEST_F(ListenerFixture, ClosesAConnectionBeyondTheCapsAtOnceAndLogsWhy) {
    struct Case {
        std::size_t perUser;
        std::size_t inAll;
        std::string line;
    };
    const std::vector<Case> cases = {
        {2, 10, "refused a connection from uid 0: this user has 2 connections already"},
        {10, 2, "refused a connection from uid 0: the helper serves 2 connections already"},
    };
    const uid_t uid = ::geteuid();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto guarding = guards();
        guarding.limits.connectionsPerUser = c.perUser;
        guarding.limits.connections = c.inAll;
        start(std::move(guarding));
        std::vector<UniqueFd> admitted;
        std::vector<Revocation> unanswered; // a reply dropped unsent would close its connection
        for (std::uint64_t id = 1; id <= 2; ++id) {
            admitted.push_back(rawClient());
            ASSERT_EQ(SeqpacketSocket::send(admitted.back().get(), LidLeaseWireMessage::revokeLease(id).encode()),
                      SeqpacketSocket::SendOutcome::sent);
            unanswered.push_back(next<Revocation>());
        }
        UniqueFd beyond = rawClient();
        EXPECT_TRUE(hungUp(beyond.get()));
        std::string expected = c.line;
        if (uid != 0) {
            expected.replace(expected.find("uid 0"), 5, "uid " + std::to_string(uid));
        }
        EXPECT_EQ(logged.take(), expected);
        // Room again once one of them has gone.
        admitted.pop_back();
        next<Ended>();
        UniqueFd again = rawClient();
        ASSERT_EQ(SeqpacketSocket::send(again.get(), LidLeaseWireMessage::revokeLease(9).encode()),
                  SeqpacketSocket::SendOutcome::sent);
        unanswered.push_back(next<Revocation>());
    }
}

TEST_F(ListenerFixture, AListeningSocketThatFailsEndsTheListenerAndSaysSo) {
    listener.reset();
    UniqueFd socket = LidHelperListeningSocket::bound(path);
    const UniqueFd same(::dup(socket.get()));
    start(guards(), std::move(socket));
    ASSERT_EQ(::shutdown(same.get(), SHUT_RDWR), 0);
    EXPECT_EQ(failures.take(), std::optional<std::string>("the listening socket failed"));
}

TEST(LidLeaseClientConnection, FailsEveryRequestWhenTheHelperCannotBeReached) {
    TemporaryDirectory directory;
    RecordingClient client((directory.path() / "nobody-listens.sock").string());
    client.renew(1);
    client.connection.resume();
    const auto error = client.errors.take();
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("nobody-listens.sock"), std::string::npos) << *error;
    EXPECT_TRUE(client.invalidations.take());
    EXPECT_FALSE(client.invalidations.take(200ms));
}

TEST(LidLeaseClientConnection, SendsNothingToAHelperThatFailsThePeerRequirement) {
    TemporaryDirectory directory;
    const std::string path = (directory.path() / "lidhelper.sock").string();
    UniqueFd listening = LidHelperListeningSocket::bound(path);
    RecordingClient client(path);
    Mailbox<PeerCredentials> checked;
    client.connection.setPeerRequirement([&](const PeerCredentials& peer) {
        checked.post(peer);
        return false;
    });
    client.renew(1);
    client.connection.resume();
    EXPECT_TRUE(client.errors.take());
    EXPECT_TRUE(client.invalidations.take());
    const auto peer = checked.take();
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->pid, ::getpid());
    EXPECT_FALSE(client.connection.peer());

    UniqueFd accepted(::accept4(listening.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    ASSERT_TRUE(accepted);
    pollfd polled{accepted.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&polled, 1, 10'000), 1);
    EXPECT_EQ(SeqpacketSocket::receive(accepted.get(), LidLeaseWireMessage::maximumSize).outcome,
              SeqpacketSocket::Received::Outcome::endOfStream);
}

/// A stand-in helper that answers with whatever a test scripts.
struct ScriptedHelper {
    explicit ScriptedHelper(const std::string& path) : listening(LidHelperListeningSocket::bound(path)) {}

    UniqueFd acceptOne() {
        pollfd polled{listening.get(), POLLIN, 0};
        if (::poll(&polled, 1, 10'000) != 1) {
            return {};
        }
        return UniqueFd(::accept4(listening.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    }

    static LidLeaseWireMessage request(int fd) {
        pollfd polled{fd, POLLIN, 0};
        EXPECT_EQ(::poll(&polled, 1, 10'000), 1);
        auto received = SeqpacketSocket::receive(fd, LidLeaseWireMessage::maximumSize);
        return LidLeaseWireMessage::decode(received.bytes);
    }

    UniqueFd listening;
};

TEST(LidLeaseClientConnection, EndsTheConnectionOnAReplyItDidNotAskFor) {
    struct Case {
        const char* name;
        std::function<std::vector<std::uint8_t>(const LidLeaseWireMessage& request)> reply;
    };
    const Case cases[] = {
        {"unknown request id",
         [](const auto& request) {
             return LidLeaseWireMessage::renewLeaseReply(request.requestId + 1, "").encode();
         }},
        {"reply of the other kind",
         [](const auto& request) { return LidLeaseWireMessage::revokeLeaseReply(request.requestId).encode(); }},
        {"a request instead of a reply",
         [](const auto& request) { return LidLeaseWireMessage::revokeLease(request.requestId).encode(); }},
        {"garbage",
         [](const auto&) {
             return std::vector<std::uint8_t>{1, 2, 3};
         }},
    };
    for (const auto& [name, reply] : cases) {
        SCOPED_TRACE(name);
        TemporaryDirectory directory;
        ScriptedHelper helper((directory.path() / "lidhelper.sock").string());
        RecordingClient client((directory.path() / "lidhelper.sock").string());
        client.connection.resume();
        client.renew(1);
        UniqueFd accepted = helper.acceptOne();
        ASSERT_TRUE(accepted);
        const LidLeaseWireMessage request = ScriptedHelper::request(accepted.get());
        EXPECT_EQ(request.kind, LidLeaseWireMessage::Kind::renewLeaseUntil);
        ASSERT_EQ(SeqpacketSocket::send(accepted.get(), reply(request)), SeqpacketSocket::SendOutcome::sent);
        EXPECT_TRUE(client.errors.take());
        EXPECT_TRUE(client.invalidations.take());
        EXPECT_EQ(client.replies.size(), 0u);
    }
}

TEST(LidLeaseClientConnection, ACallbackMayDestroyItsOwnConnection) {
    TemporaryDirectory directory;
    ScriptedHelper helper((directory.path() / "lidhelper.sock").string());
    auto connection = std::make_shared<LidLeaseClientConnection>((directory.path() / "lidhelper.sock").string());
    Mailbox<bool> done;
    connection->resume();
    connection->renewLease(
        1,
        [&](std::optional<std::string>) {
            connection.reset();
            done.post(true);
        },
        [&](const std::string&) { done.post(false); });
    UniqueFd accepted = helper.acceptOne();
    ASSERT_TRUE(accepted);
    const auto request = ScriptedHelper::request(accepted.get());
    ASSERT_EQ(SeqpacketSocket::send(
                  accepted.get(), LidLeaseWireMessage::renewLeaseReply(request.requestId, std::nullopt).encode()),
              SeqpacketSocket::SendOutcome::sent);
    EXPECT_EQ(done.take(), std::optional<bool>(true));
}

TEST(LidLeaseClientConnection, InvalidatingFailsWhatIsPendingAndReportsTheEndOnce) {
    TemporaryDirectory directory;
    ScriptedHelper helper((directory.path() / "lidhelper.sock").string());
    RecordingClient client((directory.path() / "lidhelper.sock").string());
    client.connection.resume();
    client.renew(1);
    client.revoke();
    UniqueFd accepted = helper.acceptOne();
    ASSERT_TRUE(accepted);
    ScriptedHelper::request(accepted.get());
    client.connection.invalidate();
    EXPECT_TRUE(client.errors.take());
    EXPECT_TRUE(client.errors.take());
    EXPECT_TRUE(client.invalidations.take());
    client.connection.invalidate();
    EXPECT_FALSE(client.invalidations.take(200ms));
    EXPECT_EQ(client.replies.size(), 0u);
}

} // namespace
} // namespace staywake
