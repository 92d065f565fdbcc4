#include "StaywakeCore/LidHelper/LidLeaseIncomingConnection.h"
#include "StaywakeCore/LidHelper/LidLeaseListenerDelegate.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

const std::string requirement =
    R"(anchor apple generic and identifier "com.staywake.app" and certificate leaf[subject.OU] = "AB12CD34EF")";

/// A connection whose peer passes or fails the check as told, and that keeps
/// what it was resumed with.
class FakeIncomingConnection final : public LidLeaseIncomingConnection {
public:
    enum class Peer { meets, fails, checkThrows };
    explicit FakeIncomingConnection(Peer peerKind = Peer::meets) : peer(peerKind) {}
    bool peerMeets(const std::string& text) override {
        checked.push_back(text);
        if (peer == Peer::checkThrows) {
            throw std::runtime_error("the peer's executable could not be read");
        }
        return peer == Peer::meets;
    }
    void resume(std::shared_ptr<const LidLeaseConnection> object, std::function<void()> handler) override {
        exported = std::move(object);
        invalidated = std::move(handler);
    }

    Peer peer;
    std::vector<std::string> checked;
    std::shared_ptr<const LidLeaseConnection> exported;
    std::function<void()> invalidated;
};

/// Records requests and answers each with `answer`, at once.
struct RecordingRequests {
    LidLeaseRequestFunction function() {
        return [this](LidLeaseClientNumber client, LidLeaseRequest request, LidLeaseReply reply) {
            received.push_back(::testing::PrintToString(client) + " " + ::testing::PrintToString(request));
            reply(answer);
        };
    }

    std::vector<std::string> received;
    std::optional<std::string> answer;
};

TEST(LidLeaseListenerDelegate, NumbersOnlyThePeersThatMeetTheRequirement) {
    using Peer = FakeIncomingConnection::Peer;
    RecordingRequests requests;
    LidLeaseListenerDelegate nobody(std::nullopt, requests.function());
    FakeIncomingConnection unchecked;
    EXPECT_FALSE(nobody.shouldAcceptNewConnection(unchecked)) << "without a requirement everyone is refused";
    EXPECT_TRUE(unchecked.checked.empty());

    LidLeaseListenerDelegate delegate(requirement, requests.function());
    const std::pair<Peer, LidLeaseClientNumber> cases[] = {// the client number given, 0 when refused
                                                           {Peer::fails, 0},
                                                           {Peer::meets, 1},
                                                           {Peer::checkThrows, 0},
                                                           {Peer::fails, 0},
                                                           {Peer::meets, 2}};
    for (const auto& [peer, client] : cases) {
        FakeIncomingConnection connection(peer);
        EXPECT_EQ(delegate.shouldAcceptNewConnection(connection), client != 0);
        EXPECT_EQ(connection.checked, std::vector<std::string>{requirement});
        EXPECT_EQ(connection.exported ? connection.exported->client() : 0, client);
    }
}

TEST(LidLeaseListenerDelegate, TurnsMessagesAndTheEndIntoRequestsOfTheClient) {
    RecordingRequests requests;
    LidLeaseListenerDelegate delegate(requirement, requests.function());
    FakeIncomingConnection first;
    FakeIncomingConnection second;
    ASSERT_TRUE(delegate.shouldAcceptNewConnection(first));
    ASSERT_TRUE(delegate.shouldAcceptNewConnection(second));

    std::vector<std::optional<std::string>> renewReplies;
    requests.answer = "The lease deadline is not a number.";
    second.exported->renewLease(
        30.5, [&](std::optional<std::string> reply) { renewReplies.push_back(std::move(reply)); });
    int revokeReplies = 0;
    requests.answer = "The sleep setting could not be put back, and the helper is still trying: x";
    first.exported->revokeLease([&] { ++revokeReplies; });
    second.invalidated();

    EXPECT_EQ(requests.received, (std::vector<std::string>{"2 renew(until: 30.5)", "1 revoke", "2 disconnect"}));
    EXPECT_EQ(renewReplies, std::vector<std::optional<std::string>>{"The lease deadline is not a number."});
    EXPECT_EQ(revokeReplies, 1);
}

} // namespace
} // namespace staywake
