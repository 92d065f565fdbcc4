// The real lid helper, with the fake pmset, killed, hung and flooded; each case prints the figure it measured on a
// FIGURE line.
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLidHelper/LidHelperProcess.h"
#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cmath>
#include <future>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void figure(const char* name, double value, const char* unit) {
    std::printf("FIGURE %s %.3f %s\n", name, value, unit);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class LidHelperFaults : public testing::LidHelperTest {
protected:
    void TearDown() override {
        releasePeers();
        LidHelperTest::TearDown();
    }
    /// Starts 25 peers from uid 61000 on, each a child process that becomes its user, makes 4 connections to the
    /// helper's socket, sends `messages` on each, never reads and says so on `ready`; the first then makes and
    /// drops 10,000 more connections. Each waits until the test lets every peer go. Only system calls after the
    /// fork.
    void startPeers(const std::vector<std::vector<std::uint8_t>>& messages) {
        ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(hold, O_CLOEXEC), 0);
        sockaddr_un address{AF_UNIX, {}};
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", helper->socketPath().c_str());
        const auto connected = [&address] {
            const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
                ::close(fd);
                return -1;
            }
            return fd;
        };
        for (uid_t uid = 61000; uid < 61025; ++uid) {
            if (const pid_t child = ::fork(); child != 0) {
                peers.push_back(child);
                continue;
            }
            ::close(hold[1]); // only the test may hold the end that lets every peer go
            if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) {
                ::_exit(120);
            }
            for (int made = 0; made < 4; ++made) {
                if (const int fd = connected(); fd >= 0) {
                    for (const auto& message : messages) {
                        ::send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                    }
                }
            }
            const bool told = ::write(ready[1], "r", 1) == 1;
            pollfd held{hold[0], POLLIN, 0};
            for (int more = uid == 61000 ? 10'000 : 0; more > 0 && ::poll(&held, 1, 0) == 0; --more) {
                ::close(connected());
            }
            ::poll(&held, 1, -1);
            ::_exit(told ? 0 : 121);
        }
        ::close(ready[1]);
        ::close(hold[0]);
    }
    void releasePeers() {
        if (peers.empty()) {
            return;
        }
        ::close(hold[1]);
        ::close(ready[0]);
        for (const pid_t peer : std::exchange(peers, {})) {
            ::waitpid(peer, nullptr, 0);
        }
    }

    int ready[2] = {-1, -1};
    int hold[2] = {-1, -1};
    std::vector<pid_t> peers;
};

// The lease's holders killed in turn: the app, then the helper itself, which its unit restarts on the same socket
// (the unit's, which outlives the service), and last the socket fails.
TEST_F(LidHelperFaults, AKilledHolderOfTheLeaseIsRecoveredFromAtOnce) {
    const std::string socket = (directory.path() / "unit.sock").string();
    const UniqueFd unitSocket = LidHelperListeningSocket::bound(socket);
    helper->startWithSocket(unitSocket.get());
    ASSERT_TRUE(logged(listening));
    testing::ChildProcess killedApp({STAYWAKE_TEST_CLIENT, socket, "30"});
    ASSERT_EQ(killedApp.readLine(), "granted");
    const auto granted = journal().waitForMessage("lease granted");
    ASSERT_TRUE(granted);
    const auto killed = std::chrono::steady_clock::now();
    killedApp.signal(SIGKILL);
    ASSERT_TRUE(journal().waitForMessage("lease ended", *granted));
    EXPECT_EQ(journal().messages()[*granted + 1], wrote0);
    figure("restore-after-app-killed", secondsSince(killed), "s");
    EXPECT_LT(secondsSince(killed), 29.0) << "waited for the lease's deadline";

    testing::LeaseClient app(socket);
    ASSERT_EQ(app.renewFor(30), "granted");
    helper->signal(SIGKILL);
    ASSERT_EQ(helper->waitForExit(), std::optional<int>(-SIGKILL));
    ASSERT_EQ(helper->state(), 1) << "nothing but the helper puts it back";
    const std::size_t before = journal().entries().size();
    // A renewal that waits in the socket for the next start.
    testing::LeaseClient again(socket);
    auto waiting = std::async(std::launch::async, [&] { return again.renewFor(30); });
    const auto restarted = std::chrono::steady_clock::now();
    helper->startWithSocket(unitSocket.get());
    ASSERT_TRUE(journal().waitForMessage(wrote0, before));
    figure("restore-after-restart", secondsSince(restarted), "s");
    EXPECT_LT(secondsSince(restarted), testing::isSanitized ? 8.0 : 2.0);
    ASSERT_EQ(waiting.get(), "granted");
    auto messages = messagesFrom(before + 1); // after the start line
    messages.resize(std::min<std::size_t>(messages.size(), 3));
    EXPECT_EQ(messages, (std::vector<std::string>{"found disablesleep 1 at start; this helper holds no lease, so "
                                                  "it is writing it off, whoever set it",
                                                  wrote0, listening}));

    ASSERT_EQ(::shutdown(unitSocket.get(), SHUT_RDWR), 0);
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(1)) << "so that the service manager starts it again";
    ASSERT_TRUE(journal().waitForMessage(
        "stopping, the lease listener could not go on: the listening socket failed; sleep restored"));
    EXPECT_EQ(journal().entries().back().field("PRIORITY"), "2");
    EXPECT_EQ(helper->state(), 0);
}

TEST_F(LidHelperFaults, SigtermWhilePmsetHangsInAWriteKillsItRestoresAndExitsWithinTheStopWindow) {
    start();
    helper->setMode("write-1", "hang");
    testing::LeaseClient app(helper->socketPath());
    auto reply = std::async(std::launch::async, [&] { return app.renewFor(30); });
    const auto hungPid = testing::waitForLine(helper->helpersDirectory() / "pmset.hung");
    ASSERT_TRUE(hungPid);
    const int hungPidfd = testing::pidfdOf(std::stoi(*hungPid));
    const auto before = journal().entries().size();

    const auto signalled = std::chrono::steady_clock::now();
    helper->signal(SIGTERM);
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(0));
    figure("exit-after-sigterm-in-hung-write", secondsSince(signalled), "s");
    EXPECT_LT(secondsSince(signalled), LidHelperService::stopRetryWindow);
    // Cut short by the interrupt, well before its own one-second limit.
    EXPECT_EQ(reply.get(), "refused: The sleep setting could not be written: pmset -a disablesleep 1 was stopped "
                           "before it finished");
    // The helper has gone, but its last lines may still wait in the journal's socket.
    ASSERT_TRUE(journal().waitForMessage("stopped, with sleep restored", before));
    EXPECT_EQ(messagesFrom(before),
              (std::vector<std::string>{"stopping", wrote0, "stopped, with sleep restored"}));
    EXPECT_EQ(helper->state(), 0);
    EXPECT_TRUE(hungPidfd < 0 || testing::endsWithin(hungPidfd, 5s)) << "the hanging pmset still runs";
    ::close(hungPidfd);
}

TEST_F(LidHelperFaults, AFloodOfPeersThatNeverReadLeavesRenewalsFastAndNothingBehind) {
    start();
    testing::LeaseClient app(helper->socketPath());
    // Answered without running pmset, so the round trip is the helper's own; in ms, sorted.
    const auto roundTrips = [&](std::size_t rounds) {
        std::vector<double> taken;
        for (bool answered = true; answered && taken.size() < rounds;) {
            const auto sent = std::chrono::steady_clock::now();
            answered = app.renew(std::nan("")) == "refused: The lease deadline is not a number.";
            taken.push_back(secondsSince(sent) * 1000);
        }
        EXPECT_EQ(taken.size(), rounds) << "a renewal was not refused as not a number";
        taken.resize(rounds, 1e9);
        std::sort(taken.begin(), taken.end());
        return taken;
    };
    // The slowest without a flood, on this machine at its present load.
    const double quiet = roundTrips(20).back();
    const fs::path process = "/proc/" + std::to_string(helper->pid());
    const auto descriptors = [&] { return std::distance(fs::directory_iterator(process / "fd"), {}); };
    const auto residentPages = [&] {
        const std::string pages = testing::readFile(process / "statm"); // "size resident ..."
        return std::stod(pages.substr(pages.find(' ')));
    };
    const auto descriptorsBefore = descriptors();
    const double residentBefore = residentPages();

    // Users running the app's program, so that each connection is judged in full.
    startPeers(std::vector(32, LidLeaseWireMessage::renewLeaseUntil(1, std::nan("")).encode()));
    char byte = 0;
    for (std::size_t peer = 0; peer < peers.size(); ++peer) {
        ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "every peer connected";
    }
    const double p99 = roundTrips(200)[198];
    releasePeers();
    // Closing the peers' connections is the helper's to notice; nothing to await but the count.
    EXPECT_TRUE(testing::eventually([&] { return descriptors() == descriptorsBefore; }, 10s));
    const double residentRatio = residentPages() / residentBefore;
    figure("renewal-p99-under-flood", p99, "ms");
    figure("descriptors-leaked", static_cast<double>(descriptors() - descriptorsBefore), "fds");
    figure("rss-after-flood", residentRatio, "x start");
    if (!testing::isSanitized) { // slower steps, and freed memory kept in quarantine
        EXPECT_LT(p99, std::max(50.0, 10 * quiet)) << "the slowest of 20 without the flood: " << quiet << " ms";
        EXPECT_LE(residentRatio, 1.10);
    }
    EXPECT_TRUE(
        journal().waitForMessage("refused a connection from uid 61000: this user has 4 connections already"));
}

} // namespace
} // namespace staywake
