#include "FakeIncomingConnection.h"
#include "StaywakeCore/LidHelper/LidLeaseListenerDelegate.h"

#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace staywake {
namespace {

using testing::FakeIncomingConnection;

const std::string requirement =
    R"(anchor apple generic and identifier "com.staywake.app" and certificate leaf[subject.OU] = "AB12CD34EF")";

struct Received {
    LidLeaseClientNumber client;
    LidLeaseRequest request;
};

/// Records requests and answers each with `answer`, at once.
struct RecordingRequests {
    LidLeaseRequestFunction function() {
        return [this](LidLeaseClientNumber client, LidLeaseRequest request, LidLeaseReply reply) {
            {
                const std::lock_guard guard(lock);
                received.push_back({client, request});
            }
            reply(answer);
        };
    }

    std::mutex lock;
    std::vector<Received> received;
    std::optional<std::string> answer;
};

TEST(LidLeaseListenerDelegate, WithoutARequirementRefusesEveryoneWithoutCheckingOrNumbering) {
    RecordingRequests requests;
    LidLeaseListenerDelegate delegate(std::nullopt, requests.function());
    FakeIncomingConnection connection;
    EXPECT_FALSE(delegate.shouldAcceptNewConnection(connection));
    EXPECT_FALSE(delegate.shouldAcceptNewConnection(connection));
    EXPECT_TRUE(connection.checked.empty());
    EXPECT_EQ(connection.resumeCount, 0);
}

TEST(LidLeaseListenerDelegate, NumbersOnlyTheAcceptedPeers) {
    using Peer = FakeIncomingConnection::Peer;
    RecordingRequests requests;
    LidLeaseListenerDelegate delegate(requirement, requests.function());
    const struct {
        Peer peer;
        bool accepted;
        LidLeaseClientNumber client;
    } cases[] = {
        {Peer::fails, false, 0}, {Peer::meets, true, 1}, {Peer::checkThrows, false, 0},
        {Peer::fails, false, 0}, {Peer::meets, true, 2}, {Peer::meets, true, 3},
    };
    for (const auto& c : cases) {
        FakeIncomingConnection connection(c.peer);
        EXPECT_EQ(delegate.shouldAcceptNewConnection(connection), c.accepted);
        EXPECT_EQ(connection.checked, std::vector<std::string>{requirement});
        EXPECT_EQ(connection.resumeCount, c.accepted ? 1 : 0);
        if (c.accepted) {
            ASSERT_TRUE(connection.exported);
            EXPECT_EQ(connection.exported->client(), c.client);
        }
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
        1'700'000'030.5, [&](std::optional<std::string> reply) { renewReplies.push_back(std::move(reply)); });
    int revokeReplies = 0;
    requests.answer = "The sleep setting could not be put back, and the helper is still trying: x";
    first.exported->revokeLease([&] { ++revokeReplies; });
    second.invalidated();

    ASSERT_EQ(requests.received.size(), 3u);
    EXPECT_EQ(requests.received[0].client, 2u);
    EXPECT_EQ(requests.received[0].request, LidLeaseRequest::renew(1'700'000'030.5));
    EXPECT_EQ(requests.received[1].client, 1u);
    EXPECT_EQ(requests.received[1].request, LidLeaseRequest::revoke());
    EXPECT_EQ(requests.received[2].client, 2u);
    EXPECT_EQ(requests.received[2].request, LidLeaseRequest::disconnect());
    EXPECT_EQ(renewReplies, std::vector<std::optional<std::string>>{"The lease deadline is not a number."});
    EXPECT_EQ(revokeReplies, 1);
}

TEST(LidLeaseListenerDelegate, ConcurrentConnectionsGetDistinctNumbersWithoutGaps) {
    RecordingRequests requests;
    LidLeaseListenerDelegate delegate(requirement, requests.function());
    constexpr std::size_t threadCount = 4;
    constexpr std::size_t perThread = 250;
    std::vector<std::vector<LidLeaseClientNumber>> numbers(threadCount);
    std::vector<std::thread> threads;
    for (auto& mine : numbers) {
        threads.emplace_back([&] {
            for (std::size_t i = 0; i < perThread; ++i) {
                FakeIncomingConnection connection;
                if (delegate.shouldAcceptNewConnection(connection)) {
                    mine.push_back(connection.exported->client());
                }
            }
        });
    }
    std::set<LidLeaseClientNumber> all;
    for (std::size_t t = 0; t < threadCount; ++t) {
        threads[t].join();
        all.insert(numbers[t].begin(), numbers[t].end());
    }
    ASSERT_EQ(all.size(), threadCount * perThread);
    EXPECT_EQ(*all.begin(), 1u);
    EXPECT_EQ(*all.rbegin(), threadCount * perThread);
}

} // namespace
} // namespace staywake
