#include "StaywakeCore/LidHelper/LidLeaseListenerDelegate.h"
#include "StaywakeLinux/Socket/ConnectionRefusals.h"
#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"
#include "StaywakeLinux/Socket/LidLeaseSocketListener.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "StaywakeLinux/SystemError.h"
#include "Support/Files.h"
#include "Support/Mailbox.h"
#include "Support/TemporaryDirectory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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

/// Allows everyone: what polkit says is for the helper's process tests.
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

/// A running client connection whose callbacks post to mailboxes.
struct RecordingClient {
    explicit RecordingClient(const std::string& path) : connection(path) {
        connection.setInvalidationHandler([this] { invalidations.post(true); });
        connection.resume();
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

/// A listener with the real delegate; the test answers its requests when and where it likes.
class LidLeaseSocketTest : public ::testing::Test {
protected:
    void start(LidLeaseSocketListener::Limits limits = {}) {
        listener.reset();
        while (events.take(0ms)) { // an earlier listener's
        }
        LidLeaseSocketListener::Guards guards;
        guards.authority = std::make_unique<AllowingAuthority>();
        guards.log = [this](const std::string& line) { logged.post(line); };
        guards.limits = limits;
        listener = std::make_unique<LidLeaseSocketListener>(
            LidHelperListeningSocket::bound(path),
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

    testing::TemporaryDirectory directory;
    std::string path = (directory.path() / "lidhelper.sock").string();
    Mailbox<Event> events;
    Mailbox<PeerCredentials> peers;
    Mailbox<std::string> logged;
    std::atomic<bool> accepting{true};
    LidLeaseListenerDelegate delegate{
        "the test's requirement",
        [this](LidLeaseClientNumber client, LidLeaseRequest request, LidLeaseReply reply) {
            const double until = request.kind() == Kind::renew ? request.until() : 0;
            events.post({request.kind(), client, until, std::move(reply)});
        }};
    std::unique_ptr<LidLeaseSocketListener> listener;
};

TEST_F(LidLeaseSocketTest, CarriesRequestsAndEachReplyOnceAnsweredFromAnyThreadUntilTheConnectionEndsOnce) {
    start();
    auto client = std::make_unique<RecordingClient>(path);
    client->renew(1'700'000'030.5);
    client->renew(2);
    Event first = next(Kind::renew);
    Event second = next(Kind::renew);
    EXPECT_EQ(first.until, 1'700'000'030.5);
    std::thread([&] { second.reply("No."); }).join();
    std::thread([&] { first.reply(std::nullopt); }).join();
    second.reply("again"); // sent again, it would end the client's connection
    first.reply(std::nullopt);
    EXPECT_EQ(client->replies.take(), std::optional<std::string>("No."));
    EXPECT_EQ(client->replies.take(), granted);

    client->revoke();
    client->renew(3);
    next(Kind::revoke).reply(std::nullopt);
    EXPECT_EQ(client->replies.take(), std::optional<std::string>("revoked"));
    const Event late = next(Kind::renew);
    const auto judged = peers.take().value_or(PeerCredentials{});
    EXPECT_EQ(std::pair(judged.pid, judged.uid), std::pair(::getpid(), ::geteuid()));
    EXPECT_EQ(client->errors.size() + client->invalidations.size(), 0u);
    client.reset();
    EXPECT_EQ(next(Kind::disconnect).client, late.client);
    late.reply(std::nullopt);         // the connection is gone: dropped, not sent anywhere
    EXPECT_FALSE(events.take(200ms)); // no second end
}

TEST_F(LidLeaseSocketTest, AMalformedOrOversizedDatagramEndsOnlyItsOwnConnection) {
    start();
    RecordingClient bystander(path);
    bystander.renew(1);
    Event held = next(Kind::renew);
    const std::pair<const char*, Bytes> cases[] = {
        {"garbage", {'h', 'e', 'l', 'l', 'o'}},
        {"a reply where a request belongs", Wire::revokeLeaseReply(1).encode()},
        {"over the size limit", Bytes(Wire::maximumSize + 1, 'S')},
    };
    for (const auto& [name, datagram] : cases) {
        UniqueFd raw = SeqpacketSocket::connect(path);
        ASSERT_TRUE(sent(raw.get(), datagram));
        EXPECT_NE(next(Kind::disconnect).client, held.client) << name;
        EXPECT_TRUE(closedByPeer(raw.get())) << name;
    }
    held.reply(std::nullopt);
    EXPECT_EQ(bystander.replies.take(), granted);
    EXPECT_EQ(bystander.invalidations.size(), 0u);
}

TEST_F(LidLeaseSocketTest, ARefusedClientIsClosedBeforeAnythingIsRead) {
    start();
    accepting = false;
    RecordingClient refused(path);
    refused.renew(1);
    EXPECT_TRUE(refused.errors.take());
    EXPECT_TRUE(refused.invalidations.take());
    EXPECT_TRUE(peers.take());
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
    const std::string refused = "refused a connection from uid " + std::to_string(::geteuid());
    const std::tuple<std::size_t, std::size_t, std::string> cases[] = {
        {2, 10, refused + ": this user has 2 connections already"},
        {10, 2, refused + ": the helper serves 2 connections already"},
    };
    for (const auto& [perUser, inAll, line] : cases) {
        LidLeaseSocketListener::Limits limits;
        limits.connectionsPerUser = perUser;
        limits.connections = inAll;
        start(limits);
        // Requests left unanswered: a reply dropped unsent would close its connection.
        std::vector<std::pair<UniqueFd, Event>> admitted;
        admitted.push_back(revokingClient(1));
        admitted.push_back(revokingClient(2));
        EXPECT_TRUE(closedByPeer(SeqpacketSocket::connect(path).get()));
        EXPECT_EQ(logged.take(), line);
        admitted.pop_back(); // room again once one has gone
        next(Kind::disconnect);
        admitted.push_back(revokingClient(3));
    }
}

TEST_F(LidLeaseSocketTest, AClientEndsTheConnectionOnAReplyItDidNotAskFor) {
    const std::pair<const char*, std::function<Bytes(const Wire& request)>> cases[] = {
        {"unknown request id", [](const Wire& r) { return Wire::renewLeaseReply(r.requestId + 1, "").encode(); }},
        {"reply of the other kind", [](const Wire& r) { return Wire::revokeLeaseReply(r.requestId).encode(); }},
        {"garbage", [](const Wire&) { return Bytes(3, 0xEE); }},
    };
    UniqueFd listening = LidHelperListeningSocket::bound(path);
    for (const auto& [name, reply] : cases) {
        RecordingClient client(path);
        client.renew(1);
        pollfd polled{listening.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&polled, 1, 10'000), 1);
        UniqueFd accepted(::accept4(listening.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        ASSERT_TRUE(sent(accepted.get(), reply(Wire::decode(receive(accepted.get()).bytes))));
        EXPECT_TRUE(client.errors.take()) << name;
        EXPECT_TRUE(client.invalidations.take());
        EXPECT_EQ(client.replies.size(), 0u);
    }
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode;
}

/// The error number `bound(path)` (or `activatedOrBound`) fails with; 0 when it succeeds.
int errorOf(const std::string& path, bool activated = false) {
    try {
        activated ? LidHelperListeningSocket::activatedOrBound(path) : LidHelperListeningSocket::bound(path);
    } catch (const SystemError& error) {
        return error.errorNumber();
    }
    return 0;
}

TEST_F(LidLeaseSocketTest, BindsInAFreshDirectoryThatEveryUserCanReach) {
    const std::string nested = (directory.path() / "staywake/lidhelper.sock").string();
    const mode_t oldMask = ::umask(077);
    UniqueFd listening = LidHelperListeningSocket::bound(nested);
    ::umask(oldMask);
    EXPECT_EQ(modeOf(directory.path() / "staywake") & 07777, 0755u);
    EXPECT_EQ(modeOf(nested), S_IFSOCK | 0666u);
    EXPECT_EQ(::sd_is_socket_unix(listening.get(), SOCK_SEQPACKET, 1, nested.c_str(), 0), 1);
    EXPECT_NE(::fcntl(listening.get(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_NE(::fcntl(listening.get(), F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(LidLeaseSocketTest, ReplacesOnlyASocketNobodyListensOnInADirectoryOnlyItsOwnerCanChange) {
    { UniqueFd earlier = LidHelperListeningSocket::bound(path); } // closed, but the file stays, as after a crash
    UniqueFd listening = LidHelperListeningSocket::bound(path);
    EXPECT_EQ(errorOf(path), EADDRINUSE);
    EXPECT_NO_THROW(SeqpacketSocket::connect(path)); // the live one is untouched

    const auto regularFile = directory.path() / "not-a-socket";
    testing::writeFile(regularFile, "keep me");
    EXPECT_EQ(errorOf(regularFile.string()), EEXIST);
    EXPECT_TRUE(S_ISREG(modeOf(regularFile)));

    const auto shared = directory.path() / "shared";
    for (const auto mode : {std::filesystem::perms(0777), std::filesystem::perms(01777)}) {
        std::filesystem::create_directories(shared);
        std::filesystem::permissions(shared, mode);
        EXPECT_EQ(errorOf((shared / "lidhelper.sock").string()), EPERM);
    }
    EXPECT_EQ(errorOf("relative.sock"), ENAMETOOLONG);
    EXPECT_EQ(errorOf((directory.path() / std::string(120, 'x')).string()), ENAMETOOLONG);
}

/// `check`'s result in a child given `passed` as systemd gives a service its socket.
int inActivatedChild(int passed, const std::function<int()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(passed, SD_LISTEN_FDS_START);
        ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
        ::setenv("LISTEN_FDS", "1", 1);
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST_F(LidLeaseSocketTest, TakesTheSocketSystemdPassedAndOnlyTheRightKind) {
    UniqueFd activated = LidHelperListeningSocket::bound(path);
    ASSERT_EQ(::fcntl(activated.get(), F_SETFD, 0), 0); // systemd passes it without close-on-exec
    const std::string other = (directory.path() / "other.sock").string();
    const auto takesIt = [&] {
        UniqueFd socket = LidHelperListeningSocket::activatedOrBound(other);
        const bool closeOnExec = (::fcntl(socket.get(), F_GETFD) & FD_CLOEXEC) != 0;
        return socket.get() == SD_LISTEN_FDS_START && closeOnExec && ::getenv("LISTEN_FDS") == nullptr ? 0 : 1;
    };
    EXPECT_EQ(inActivatedChild(activated.get(), takesIt), 0);

    // A listening stream socket at an address the kernel picks.
    UniqueFd stream(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sa_family_t anyAddress = AF_UNIX;
    ASSERT_EQ(::bind(stream.get(), reinterpret_cast<const sockaddr*>(&anyAddress), sizeof anyAddress), 0);
    ASSERT_EQ(::listen(stream.get(), 1), 0);
    EXPECT_EQ(inActivatedChild(stream.get(), [&] { return errorOf(other, true) == ENOTSOCK ? 0 : 1; }), 0);
    EXPECT_FALSE(std::filesystem::exists(other));
}

TEST(ConnectionRefusals, LogsTheFirstRefusalOfAMinutePerUserAtOnceAndCountsTheRest) {
    const std::string user = "refused a connection from uid 1000: ";
    const std::string nobody = "refused a connection from uid 65534: too many";
    const std::string more = " from uid 1000 in the last minute; the last: ";
    const struct {
        double at;
        uid_t uid;
        std::string reason; // none: a flush
        std::vector<std::string> lines;
    } steps[] = {
        {0, 1000, "too many", {user + "too many"}},
        {1, 1000, "too many", {}},
        {2, 1000, "not authorized by polkit", {}},
        {30, 65534, "too many", {nobody}},
        {59.9, 0, "", {}},
        {60, 0, "", {"refused 2 more connections" + more + "not authorized by polkit"}},
        // Its minute over and told, uid 1000 starts afresh.
        {61, 1000, "too many", {user + "too many"}},
        {62, 1000, "too many", {}},
        // A refusal after the minute, before any flush, tells both.
        {125, 1000, "gone", {"refused 1 more connection" + more + "too many", user + "gone"}},
        // A minute with nothing held back ends silently.
        {200, 0, "", {}},
        {201, 65534, "too many", {nobody}},
    };
    ConnectionRefusals refusals;
    for (const auto& step : steps) {
        EXPECT_EQ(step.reason.empty() ? refusals.flush(step.at) : refusals.refuse(step.uid, step.reason, step.at),
                  step.lines)
            << "at " << step.at;
    }
    EXPECT_EQ(refusals.nextFlush(), std::optional<double>(261));
}

Bytes header(std::uint8_t kind, std::uint64_t id) {
    Bytes bytes{'S', 'W', 'L', 'H', 1, kind};
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    }
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(LidLeaseWireMessage, EncodesTheDocumentedBytesAndDecodesThemBack) {
    // The layout in docs/lidhelper-protocol.md: both ends of released builds depend on it.
    const std::pair<Wire, Bytes> cases[] = {
        {Wire::renewLeaseUntil(0x0102030405060708, 1.5),
         {'S', 'W', 'L', 'H', 1, 0x01, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
        {Wire::revokeLease(2), header(0x02, 2)},
        {Wire::renewLeaseReply(3, std::nullopt), header(0x81, 3) + Bytes{0}},
        {Wire::renewLeaseReply(4, "No."), header(0x81, 4) + Bytes{1, 3, 0, 'N', 'o', '.'}},
        {Wire::renewLeaseReply(5, ""), header(0x81, 5) + Bytes{1, 0, 0}},
        {Wire::revokeLeaseReply(5), header(0x82, 5)},
    };
    for (const auto& [message, bytes] : cases) {
        EXPECT_EQ(message.encode(), bytes);
        EXPECT_EQ(Wire::decode(bytes), message);
    }
}

TEST(LidLeaseWireMessage, ShortensALongReplyTextAtACharacterBoundaryAndRepairsInvalidUtf8) {
    // A refusal can quote whatever a broken tool printed; the datagram must still fit.
    std::string text = "The sleep setting could not be read: ";
    while (text.size() < 10'000) {
        text += "\U0001F375";
    }
    const Bytes bytes = Wire::renewLeaseReply(1, text).encode();
    EXPECT_GE(bytes.size(), Wire::maximumSize - 3);
    const auto decoded = Wire::decode(bytes).text.value_or(""); // strict: must still be UTF-8
    ASSERT_TRUE(decoded.ends_with("\u2026"));
    EXPECT_EQ(text.substr(0, decoded.size() - 3), decoded.substr(0, decoded.size() - 3));
    const std::string fitting(Wire::maximumSize - 17, 'y');
    EXPECT_EQ(Wire::decode(Wire::renewLeaseReply(1, fitting).encode()).text, fitting);
    EXPECT_EQ(Wire::decode(Wire::renewLeaseReply(1, "a\xff-\xc3").encode()).text, "a\uFFFD-\uFFFD");
}

TEST(LidLeaseWireMessage, RejectsEverythingButOneWholeMessage) {
    const Bytes renew = Wire::renewLeaseUntil(1, 2).encode();
    Bytes wrongMagic = renew;
    wrongMagic[0] = 'X';
    Bytes wrongVersion = renew;
    wrongVersion[4] = 2;
    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"shorter than a header", Bytes(renew.begin(), renew.begin() + 13)},
        {"wrong magic", wrongMagic},
        {"another version", wrongVersion},
        {"unknown kind", header(0x03, 1)},
        {"reply kind with a request's flag bit missing", header(0x80, 1)},
        {"renewal cut short", Bytes(renew.begin(), renew.end() - 1)},
        {"renewal with a trailing byte", renew + Bytes{0}},
        {"revocation with a body", header(0x02, 1) + Bytes{0}},
        {"revocation reply with a body", header(0x82, 1) + Bytes{0}},
        {"renewal reply without flag", header(0x81, 1)},
        {"renewal reply with flag 2", header(0x81, 1) + Bytes{2}},
        {"renewal reply without text but trailing", header(0x81, 1) + Bytes{0, 0}},
        {"renewal reply without length", header(0x81, 1) + Bytes{1, 3}},
        {"renewal reply text shorter than its length", header(0x81, 1) + Bytes{1, 3, 0, 'a', 'b'}},
        {"renewal reply text longer than its length", header(0x81, 1) + Bytes{1, 1, 0, 'a', 'b'}},
        {"surrogate", header(0x81, 1) + Bytes{1, 3, 0, 0xED, 0xA0, 0x80}},
        {"over the size limit", header(0x81, 1) + Bytes{1, 0xF3, 0x0F} + Bytes(4083, 'a')},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_THROW(Wire::decode(bytes), Wire::Malformed) << name;
    }
}

} // namespace
} // namespace staywake
