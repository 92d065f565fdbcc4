// The real lid helper, with a fake pmset, killed, hung and flooded; each case
// prints the figure it measured on a FIGURE line.
#include "LidHelperProcess.h"

#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Journal/PrivateRun.h"
#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "Support/TestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <future>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::wallClockNow;

// Under AddressSanitizer every step costs several times more, and freed
// memory is held back in quarantine: the flood's round trips and memory are
// judged in the plain build only.
#ifdef __SANITIZE_ADDRESS__
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
constexpr double slowdown = sanitized ? 4 : 1;

void figure(const char* name, double value, const char* unit) {
    std::printf("FIGURE %s %.3f %s\n", name, value, unit);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Starts `words` with its standard input and output on the given descriptors.
pid_t spawn(std::vector<std::string> words, int input, int output) {
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    pid_t pid = -1;
    ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

/// Resident pages, from /proc/PID/statm.
double residentPages(pid_t pid) {
    double size = 0;
    double resident = 0;
    std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> size >> resident;
    return resident;
}

class LidHelperFaults : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            STAYWAKE_SKIP(
                "the helper trusts only programs that root owns, so faults are injected into it as root");
        }
        std::string why;
        if (!testing::canEnterPrivateRun(why)) {
            STAYWAKE_SKIP(why);
        }
        fs::permissions(directory.path(), fs::perms(0755)); // other users' peers reach the socket
        helper = std::make_unique<testing::LidHelperProcess>(directory.path(), STAYWAKE_LID_HELPER);
    }
    void TearDown() override {
        if (helper && HasFailure()) {
            std::cerr << helper->report();
        }
    }

    void start() {
        helper->start();
        ASSERT_TRUE(journal().waitForMessage(listening));
    }
    testing::JournalCapture& journal() { return helper->journal(); }
    /// When the fake pmset last started `command`.
    double lastCall(const std::string& command) const {
        double last = 0;
        for (const auto& [time, line] : helper->calls()) {
            last = line == command ? time : last;
        }
        return last;
    }

    const std::string listening = "listening on com.staywake.app.lidhelper";
    const std::string restored = "wrote disablesleep 0, and read it back";
    testing::TemporaryDirectory directory;
    std::unique_ptr<testing::LidHelperProcess> helper;
};

TEST_F(LidHelperFaults, AHelperKilledWhileHoldingIsRestartedOnItsSocketAndRestoresAtOnce) {
    // The unit's socket outlives the service: systemd hands the same one to each start.
    const std::string socket = (directory.path() / "unit.sock").string();
    const UniqueFd unitSocket = LidHelperListeningSocket::bound(socket);
    helper->startWithSocket(unitSocket.get());
    ASSERT_TRUE(journal().waitForMessage(listening));
    testing::LeaseClient app(socket);
    ASSERT_EQ(app.renew(wallClockNow() + 30), "granted");
    ASSERT_EQ(helper->state(), 1);

    helper->signal(SIGKILL);
    ASSERT_EQ(helper->waitForExit(), std::optional<int>(-SIGKILL));
    ASSERT_EQ(helper->state(), 1) << "nothing but the helper puts it back";
    const std::size_t before = journal().entries().size();
    const auto restarted = std::chrono::steady_clock::now();
    helper->startWithSocket(unitSocket.get());
    ASSERT_TRUE(journal().waitForMessage(restored, before));
    const double seconds = secondsSince(restarted);
    figure("restore-after-restart", seconds, "s");
    EXPECT_EQ(helper->state(), 0);
    EXPECT_LT(seconds, 2.0 * slowdown);
}

TEST_F(LidHelperFaults, ALeaseOfAnAppKilledOrHungEndsByItsDeadlineAtTheLatest) {
    start();
    struct Row {
        const char* figure;
        int signal;
        double atLeast; // after the renewal that asked for 30 s
    };
    for (const auto& [name, signal, atLeast] :
         {Row{"restore-after-app-killed", SIGKILL, 0}, Row{"restore-after-app-hung", SIGSTOP, 29.0}}) {
        // The real lease client renews once for 30 s and holds its connection while its input is open.
        int input[2];
        ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
        const std::size_t from = journal().entries().size();
        const pid_t app = spawn({STAYWAKE_TEST_CLIENT, helper->socketPath(), "30"}, input[0], STDERR_FILENO);
        ASSERT_TRUE(journal().waitForMessage("wrote disablesleep 1, and read it back", from)) << name;
        const double renewed = lastCall("-a disablesleep 1");
        ::kill(app, signal);
        const bool ended = journal().waitForMessage(restored, from, 40s).has_value();
        ::kill(app, SIGKILL);
        ::waitpid(app, nullptr, 0);
        ::close(input[0]);
        ::close(input[1]);
        ASSERT_TRUE(ended) << name;
        const double seconds = lastCall("-a disablesleep 0") - renewed;
        figure(name, seconds, "s after the last renewal");
        EXPECT_EQ(helper->state(), 0) << name;
        EXPECT_GE(seconds, atLeast) << name;
        EXPECT_LE(seconds, 31.0) << name;
    }
}

TEST_F(LidHelperFaults, SigtermWhilePmsetHangsInAWriteRestoresAndExitsWithinTheStopWindow) {
    start();
    helper->setMode("write-1", "hang");
    testing::LeaseClient app(helper->socketPath());
    auto reply = std::async(std::launch::async, [&] { return app.renew(wallClockNow() + 30); });
    ASSERT_TRUE(testing::waitForFile(helper->helpersDirectory() / "pmset.hung"));

    const auto signalled = std::chrono::steady_clock::now();
    helper->signal(SIGTERM);
    const auto status = helper->waitForExit();
    const double seconds = secondsSince(signalled);
    figure("exit-after-sigterm-in-hung-write", seconds, "s");
    EXPECT_EQ(status, std::optional<int>(0));
    EXPECT_LT(seconds, LidHelperService::stopRetryWindow);
    EXPECT_TRUE(reply.get().starts_with("refused: ")); // answered, not left hanging
    EXPECT_TRUE(journal().waitForMessage("stopped, with sleep restored"));
    EXPECT_GT(lastCall("-a disablesleep 0"), lastCall("-a disablesleep 1"));
    EXPECT_EQ(helper->state(), 0);
}

// Untrusted peers: programs without the app's identity (Python), each user
// holding four connections until its standard input closes.
constexpr const char* untrustedPeers = R"(
import os, socket, sys
path, first, users = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for uid in range(first, first + users):
    if os.fork() == 0:
        os.setgroups([]); os.setgid(uid); os.setuid(uid)
        held = []
        for _ in range(4):
            held.append(socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET))
            try:
                held[-1].connect(path)
            except OSError:
                pass
        os.write(1, b'r')
        sys.stdin.read()
        os._exit(0)
sys.stdin.read()
)";

TEST_F(LidHelperFaults, AFloodOfUntrustedAndNonReadingPeersLeavesRenewalsFastAndNothingBehind) {
    start();
    testing::LeaseClient app(helper->socketPath());
    const std::string notANumber = "refused: The lease deadline is not a number.";
    ASSERT_EQ(app.renew(std::nan("")), notANumber); // answered without running pmset: the helper's own round trip
    const std::size_t descriptorsBefore = helper->openDescriptors();
    const double residentBefore = residentPages(helper->pid());

    int ready[2];
    int hold[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(hold, O_CLOEXEC), 0);
    // 1,000 connections of 250 untrusted users.
    const pid_t python =
        spawn({"/usr/bin/python3", "-c", untrustedPeers, helper->socketPath(), "60000", "250"}, hold[0], ready[1]);
    ASSERT_GT(python, 0);
    // 100 connections of 25 users running the app's program, each sending 32
    // renewals and never reading a reply. Only system calls after the fork.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", helper->socketPath().c_str());
    const auto renewal = LidLeaseWireMessage::renewLeaseUntil(1, std::nan("")).encode();
    std::vector<pid_t> silent;
    for (uid_t uid = 61000; uid < 61025; ++uid) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(hold[1]); // only the test may hold the end that lets every peer go
            if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) {
                ::_exit(120);
            }
            for (int connection = 0; connection < 4; ++connection) {
                const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
                if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
                    for (int sent = 0; sent < 32; ++sent) {
                        ::send(fd, renewal.data(), renewal.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                    }
                }
            }
            char byte = 0;
            const ssize_t written = ::write(ready[1], "r", 1);
            ::read(hold[0], &byte, 1); // until the test lets go
            ::_exit(written == 1 ? 0 : 121);
        }
        silent.push_back(child);
    }
    ::close(ready[1]);
    ::close(hold[0]);

    // Renewals while the peers connect, and as many again while they all hold on.
    std::vector<double> roundTrips;
    std::size_t readyPeers = 0;
    const auto flooded = std::chrono::steady_clock::now();
    for (std::size_t afterAll = 0; afterAll < 100 && secondsSince(flooded) < 60;) {
        pollfd polled{ready[0], POLLIN, 0};
        char bytes[512];
        while (::poll(&polled, 1, 0) == 1 && (polled.revents & POLLIN) != 0) {
            readyPeers += static_cast<std::size_t>(std::max<ssize_t>(::read(ready[0], bytes, sizeof bytes), 0));
        }
        afterAll += readyPeers == 275 ? 1 : 0;
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_EQ(app.renew(std::nan("")), notANumber);
        roundTrips.push_back(secondsSince(sent) * 1000);
    }
    const std::size_t descriptorsFlooded = helper->openDescriptors();
    ::close(hold[1]);
    ::close(ready[0]);
    ::waitpid(python, nullptr, 0);
    for (const pid_t child : silent) {
        ::waitpid(child, nullptr, 0);
    }
    ASSERT_EQ(readyPeers, 275u) << "every peer connected";

    std::sort(roundTrips.begin(), roundTrips.end());
    const double p99 =
        roundTrips[static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(roundTrips.size()))) - 1];
    // Closing the peers' connections is the helper's to notice; nothing to await but the count.
    std::size_t descriptorsAfter = helper->openDescriptors();
    for (const auto until = std::chrono::steady_clock::now() + 10s;
         descriptorsAfter != descriptorsBefore && std::chrono::steady_clock::now() < until;
         descriptorsAfter = helper->openDescriptors()) {
        ::poll(nullptr, 0, 20);
    }
    const double residentRatio = residentPages(helper->pid()) / residentBefore;
    figure("renewal-p99-under-flood", p99, "ms");
    figure("descriptors-leaked", static_cast<double>(descriptorsAfter) - static_cast<double>(descriptorsBefore),
           "fds");
    figure("rss-after-flood", residentRatio, "x start");
    std::printf("%zu renewals in %.2f s, p50 %.2f ms, max %.2f ms; helper descriptors %zu before, %zu flooded\n",
                roundTrips.size(), secondsSince(flooded), roundTrips[roundTrips.size() / 2], roundTrips.back(),
                descriptorsBefore, descriptorsFlooded);
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
    if (!sanitized) {
        EXPECT_LT(p99, 50.0);
        EXPECT_LE(residentRatio, 1.10);
    }
    EXPECT_EQ(app.renew(std::nan("")), notANumber);
}

} // namespace
} // namespace staywake
