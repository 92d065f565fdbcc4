#include "StaywakeCore/LidHelper/LidLeaseIncomingConnection.h"
#include "StaywakeCore/LidHelper/LidLeaseListenerDelegate.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

const std::string requirement = R"(identifier "com.staywake.app" and certificate leaf[subject.OU] = "AB12CD34EF")";

class FakeIncomingConnection final : public LidLeaseIncomingConnection {
public:
    enum class Peer { meets, fails, checkThrows };
    explicit FakeIncomingConnection(Peer peerKind) : peer(peerKind) {}
    bool peerMeets(const std::string& text) override {
        checked.push_back(text);
        if (peer == Peer::checkThrows) {
            throw std::runtime_error("the peer's executable could not be read");
        }
        return peer == Peer::meets;
    }
    void resume(std::shared_ptr<const LidLeaseConnection> object, std::function<void()>) override {
        exported = std::move(object);
    }

    Peer peer;
    std::vector<std::string> checked;
    std::shared_ptr<const LidLeaseConnection> exported;
};

TEST(LidLeaseListenerDelegate, NumbersOnlyThePeersThatMeetTheRequirement) {
    using Peer = FakeIncomingConnection::Peer;
    const LidLeaseRequestFunction ignored = [](auto, auto, auto) {};
    FakeIncomingConnection unchecked(Peer::meets);
    EXPECT_FALSE(LidLeaseListenerDelegate(std::nullopt, ignored).shouldAcceptNewConnection(unchecked));
    EXPECT_TRUE(unchecked.checked.empty());

    LidLeaseListenerDelegate delegate(requirement, ignored);
    const std::pair<Peer, LidLeaseClientNumber> cases[] = {
        {Peer::fails, 0}, {Peer::meets, 1}, {Peer::checkThrows, 0}, {Peer::fails, 0}, {Peer::meets, 2}};
    for (const auto& [peer, client] : cases) {
        FakeIncomingConnection connection(peer);
        EXPECT_EQ(delegate.shouldAcceptNewConnection(connection), client != 0);
        EXPECT_EQ(connection.checked, std::vector<std::string>{requirement});
        EXPECT_EQ(connection.exported ? connection.exported->client() : 0, client);
    }
}

} // namespace
} // namespace staywake
