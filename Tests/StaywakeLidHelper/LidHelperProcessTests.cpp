#include "LidHelperProcess.h"

#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"
#include "StaywakeLinux/Socket/LidLeaseSocketConnection.h"
#include "StaywakeLinux/Socket/LidLeaseWireMessage.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cmath>
#include <fstream>
#include <future>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using testing::LidHelperProcess;
using testing::TemporaryDirectory;
using testing::wallClockNow;
using namespace std::chrono_literals;

/// The test client program, started as a process of its own with `extra`
/// arguments and `environment` added to the test's own: it asks for a
/// 30-second lease and prints its outcome as a line.
std::unique_ptr<testing::ChildProcess> clientProcess(const fs::path& program, const std::string& socketPath,
                                                     const std::vector<std::string>& environment = {}) {
    testing::ChildOptions options;
    options.environment = environment;
    return std::make_unique<testing::ChildProcess>(std::vector<std::string>{program.string(), socketPath, "30"},
                                                   options);
}

class LidHelperDaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto why = testing::privateRunIsOutOfReach()) {
            STAYWAKE_SKIP(*why);
        }
        helper = std::make_unique<LidHelperProcess>(directory.path(), STAYWAKE_LID_HELPER);
    }

    void TearDown() override {
        if (helper && HasFailure()) {
            std::cerr << helper->report();
        }
    }

    LidHelperProcess& started() {
        helper->start();
        EXPECT_TRUE(journal().waitForMessage(listening)) << "the helper never listened";
        return *helper;
    }

    testing::JournalCapture& journal() { return helper->journal(); }
    bool logged(const std::string& line, std::size_t from = 0) {
        return journal().waitForMessage(line, from).has_value();
    }
    std::size_t logSize() { return journal().entries().size(); }

    /// Whether the helper is still running one tick of its periodic check
    /// (a second) after the one that logged what it decided: the only way to
    /// see that something did not happen.
    bool staysAnotherTick() { return !helper->waitForExit(1250ms); }

    const std::string listening = "listening on com.staywake.app.lidhelper";
    TemporaryDirectory directory;
    std::unique_ptr<LidHelperProcess> helper;
};

TEST_F(LidHelperDaemonTest, StartsBySayingWhoItIsAndTurningTheSettingOff) {
    started();
    const std::string path = helper->helperPath().string();
    const std::vector<std::string> expected = {
        "helper starting: Staywake 1.4 (57), cdhash " + testing::codeDirectoryHashOf(helper->helperPath()) +
            ", from " + path,
        "wrote disablesleep 0, and read it back",
        listening,
    };
    auto messages = journal().messages();
    messages.resize(std::min(messages.size(), expected.size()));
    EXPECT_EQ(messages, expected);
    EXPECT_TRUE(logged("watching " + path + " for an update"));
    EXPECT_EQ((helper->callLines()), (std::vector<std::string>{"-g", "-a disablesleep 0", "-g"}));
    // The socket is the helper's own: any user may connect, the peer check decides.
    struct stat status {};
    ASSERT_EQ(::stat(helper->socketPath().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666u);
}

TEST_F(LidHelperDaemonTest, GrantsARenewalAndLetsAShortLeaseLapseByItself) {
    started();
    testing::LeaseClient client(helper->socketPath());
    const std::size_t before = helper->calls().size();
    EXPECT_EQ(client.renewFor(30), "granted");
    const auto lines = helper->callLines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
              (std::vector<std::string>{"-g", "-a disablesleep 1", "-g"}));
    EXPECT_EQ(helper->state(), 1);
    EXPECT_TRUE(logged("wrote disablesleep 1, and read it back"));
    const auto granted = journal().waitForMessage("lease granted");
    ASSERT_TRUE(granted);

    // A renewal until one second from now replaces the longer term and runs out
    // with nobody giving it back.
    EXPECT_EQ(client.renewFor(1), "granted");
    const auto ended = journal().waitForMessage("lease ended", *granted);
    ASSERT_TRUE(ended);
    EXPECT_EQ(journal().messages()[*ended - 1], "wrote disablesleep 0, and read it back");
    EXPECT_EQ(helper->state(), 0);
    EXPECT_EQ(journal().count("lease granted"), 1u);
    EXPECT_EQ(journal().count("lease ended"), 1u);
}

TEST_F(LidHelperDaemonTest, AClientKilledWhileHoldingALeaseGivesItBack) {
    started();
    const auto client = clientProcess(STAYWAKE_TEST_CLIENT, helper->socketPath());
    EXPECT_EQ(client->readLine(), "granted");
    const auto granted = journal().waitForMessage("lease granted");
    ASSERT_TRUE(granted);
    EXPECT_EQ(helper->state(), 1);

    client->signal(SIGKILL);
    EXPECT_TRUE(logged("wrote disablesleep 0, and read it back", *granted));
    EXPECT_TRUE(logged("lease ended", *granted));
    EXPECT_EQ(helper->state(), 0);
}

TEST_F(LidHelperDaemonTest, TurnsASettingFoundOnAtStartOffBeforeAcceptingAConnection) {
    helper->setState(1);
    helper->startSocketActivated();
    ASSERT_TRUE(testing::waitForFile(helper->socketPath()));
    // This connection is what makes the socket activation start the helper:
    // it waits in the socket while the helper starts.
    testing::LeaseClient client(helper->socketPath());
    EXPECT_EQ(client.renewFor(30), "granted");
    ASSERT_TRUE(logged("wrote disablesleep 1, and read it back"));

    const auto messages = journal().messages();
    ASSERT_GE(messages.size(), 5u);
    EXPECT_TRUE(messages[0].starts_with("helper starting: Staywake 1.4 (57), cdhash "));
    EXPECT_EQ(
        messages[1],
        "found disablesleep 1 at start; this helper holds no lease, so it is writing it off, whoever set it");
    EXPECT_EQ(messages[2], "wrote disablesleep 0, and read it back");
    EXPECT_EQ(messages[3], listening);
    const auto lines = helper->callLines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
              (std::vector<std::string>{"-g", "-a disablesleep 0", "-g", "-g", "-a disablesleep 1", "-g"}));
}

TEST_F(LidHelperDaemonTest, SigtermWhileTheToolHangsKillsItAndRestoresTheSetting) {
    started();
    helper->setMode("write-1", "hang");
    testing::LeaseClient client(helper->socketPath());
    auto reply = std::async(std::launch::async, [&] { return client.renewFor(30); });
    ASSERT_TRUE(testing::waitForFile(helper->helpersDirectory() / "pmset.hung"));
    std::ifstream hungFile(helper->helpersDirectory() / "pmset.hung");
    pid_t hung = 0;
    hungFile >> hung;
    const auto before = logSize();

    helper->signal(SIGTERM);
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(0));
    // Cut short by the interrupt, well before its own one-second limit.
    EXPECT_EQ(reply.get(), "refused: The sleep setting could not be written: pmset -a disablesleep 1 was stopped "
                           "before it finished");
    // The helper has gone, but its last lines may still wait in the journal's socket.
    ASSERT_TRUE(logged("stopped, with sleep restored", before));
    const auto messages = journal().messages();
    EXPECT_EQ(std::vector<std::string>(messages.begin() + static_cast<long>(before), messages.end()),
              (std::vector<std::string>{"stopping", "wrote disablesleep 0, and read it back",
                                        "stopped, with sleep restored"}));
    EXPECT_EQ(helper->state(), 0);
    // Killed, it may linger a moment as a zombie until whoever inherited it
    // reaps it; a zombie runs nothing, so only a live process fails this.
    EXPECT_TRUE(testing::eventually(
        [hung] {
            std::ifstream stat("/proc/" + std::to_string(hung) + "/stat");
            std::string pid, name, state;
            return !(stat >> pid >> name >> state) || state == "Z";
        },
        5s))
        << "the hanging pmset is still there";
}

TEST_F(LidHelperDaemonTest, SigtermWhileEveryWriteFailsKeepsTryingForTheWindowThenFaults) {
    helper->setMode("write-0", "exit 1");
    helper->setMode("write-1", "exit 1");
    started();
    ASSERT_TRUE(logged("sleep is NOT confirmed restored, will retry: pmset exited 1"));

    const double signalled = wallClockNow();
    helper->signal(SIGTERM);
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(1));
    const std::string fault = "stopping with sleep NOT restored; disablesleep may still be 1: pmset exited 1";
    ASSERT_TRUE(logged(fault));

    const auto entries = journal().entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().message(), fault);
    EXPECT_EQ(entries.back().field("PRIORITY"), "2");
    EXPECT_TRUE(logged("stopping"));
    EXPECT_EQ(journal().count("stopped, with sleep restored"), 0u);

    std::vector<double> attempts;
    for (const auto& [time, line] : helper->calls()) {
        if (time >= signalled && line == "-a disablesleep 0") {
            attempts.push_back(time - signalled);
        }
    }
    // One attempt at once, then one after each half-second pause until the
    // 2.5 s window has passed; a periodic check may slip in one more first.
    ASSERT_GE(attempts.size(), 5u);
    ASSERT_LE(attempts.size(), 7u);
    const std::size_t last = attempts.size() - 1;
    for (std::size_t i = last - 3; i <= last; ++i) {
        EXPECT_GE(attempts[i] - attempts[i - 1], 0.45) << "attempt " << i;
    }
    EXPECT_GE(attempts[last], 2.0);
    EXPECT_LT(attempts[last], 4.5);
}

TEST_F(LidHelperDaemonTest, AReplacedProgramFileWaitsForTheLeaseThenStepsAside) {
    started();
    const std::string path = helper->helperPath().string();
    testing::LeaseClient client(helper->socketPath());
    ASSERT_EQ(client.renewFor(30), "granted");
    ASSERT_TRUE(logged("lease granted"));

    // Another build takes the program's path, as an update does: a new file
    // renamed over the old one.
    const fs::path update = helper->helpersDirectory() / ".StaywakeLidHelper.update";
    fs::copy_file(helper->helperPath(), update);
    std::ofstream(update, std::ios::app) << "another build";
    fs::permissions(update, fs::perms(0755));
    fs::rename(update, helper->helperPath());
    const std::string replaced = path + " is now another file, a helper with cdhash " +
                                 testing::codeDirectoryHashOf(helper->helperPath()) +
                                 "; it takes over once no lease is held";
    ASSERT_TRUE(logged(replaced));
    EXPECT_TRUE(staysAnotherTick()) << "stepped aside while a lease was held";
    EXPECT_EQ(client.renewFor(30), "granted");

    const auto before = logSize();
    EXPECT_EQ(client.renew(0), "granted"); // given back
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(0));
    ASSERT_TRUE(
        logged("exiting, holding no lease and with sleep restored, so launchd starts the helper now in the bundle",
               before));
    const auto messages = journal().messages();
    EXPECT_EQ(
        std::vector<std::string>(messages.begin() + static_cast<long>(before), messages.end()),
        (std::vector<std::string>{
            "wrote disablesleep 0, and read it back", "lease ended",
            "exiting, holding no lease and with sleep restored, so launchd starts the helper now in the bundle"}));
    EXPECT_EQ(journal().count(replaced), 1u);
    EXPECT_EQ(helper->state(), 0);
}

TEST_F(LidHelperDaemonTest, AMissingProgramFileIsLoggedOnceAndTheHelperStays) {
    started();
    const std::string path = helper->helperPath().string();
    ASSERT_TRUE(logged("watching " + path + " for an update"));
    fs::remove(helper->helperPath());
    const std::string missing =
        "no helper at " + path + "; staying, since launchd has nothing to start in its place";
    ASSERT_TRUE(logged(missing));
    EXPECT_TRUE(staysAnotherTick());
    testing::LeaseClient client(helper->socketPath());
    EXPECT_EQ(client.renewFor(30), "granted");
    ASSERT_TRUE(logged("wrote disablesleep 1, and read it back"));
    EXPECT_EQ(journal().count(missing), 1u);
}

TEST_F(LidHelperDaemonTest, RefusesAClientCopiedWhereOthersCanWrite) {
    started();
    const fs::path shared = directory.path() / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms(0777));
    fs::copy_file(STAYWAKE_TEST_CLIENT, shared / "client");
    fs::permissions(shared / "client", fs::perms(0755));

    EXPECT_TRUE(clientProcess(shared / "client", helper->socketPath())->readLine().starts_with("failed: "))
        << "an untrusted copy was served";
    EXPECT_EQ(helper->state(), 0);
    // polkit allowed it: the program check is what refused it.
    EXPECT_TRUE(logged("refused a connection from uid 0: its program is not the Staywake app where only root can "
                       "change it"));

    const auto trusted = clientProcess(STAYWAKE_TEST_CLIENT, helper->socketPath());
    EXPECT_EQ(trusted->readLine(), "granted");
    EXPECT_EQ(helper->state(), 1);
}

TEST_F(LidHelperDaemonTest, WithoutATeamIdItRefusesEveryoneAndCannotTellItsSuccessor) {
    helper.reset();
    helper =
        std::make_unique<LidHelperProcess>(directory.path() / "unsigned", STAYWAKE_LID_HELPER_WITHOUT_TEAM_ID);
    started();
    EXPECT_TRUE(logged("not signed with a Team ID, so no caller can be checked; refusing every connection"));
    EXPECT_TRUE(logged("cannot tell this helper from another, so an update will not restart it"));
    testing::LeaseClient client(helper->socketPath());
    EXPECT_TRUE(client.renewFor(30).starts_with("failed: "));
    EXPECT_EQ(helper->state(), 0);
}

TEST_F(LidHelperDaemonTest, AListeningSocketThatFailsStopsTheHelperWithTheSettingRestored) {
    UniqueFd passed = LidHelperListeningSocket::bound((directory.path() / "passed.sock").string());
    helper->startWithSocket(passed.get());
    ASSERT_TRUE(logged(listening));
    testing::LeaseClient client((directory.path() / "passed.sock").string());
    ASSERT_EQ(client.renewFor(30), "granted");
    ASSERT_EQ(helper->state(), 1);

    ASSERT_EQ(::shutdown(passed.get(), SHUT_RDWR), 0);
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(1)) << "so that the service manager starts it again";
    const std::string fault =
        "stopping, the lease listener could not go on: the listening socket failed; sleep restored";
    ASSERT_TRUE(logged(fault));
    EXPECT_EQ(journal().entries().back().field("PRIORITY"), "2");
    EXPECT_EQ(helper->state(), 0);
}

/// The helper with the mocked polkit answering as given, in place of the
/// fixture's allowing one.
std::unique_ptr<LidHelperProcess> helperWith(const fs::path& directory, testing::Polkit polkit) {
    return std::make_unique<LidHelperProcess>(directory, STAYWAKE_LID_HELPER, polkit);
}

TEST_F(LidHelperDaemonTest, PolkitRefusingClosesTheGenuineProgramEvenWithALibraryPreloadedIntoIt) {
    helper = helperWith(directory.path() / "denied", testing::Polkit::deny);
    started();
    testing::LeaseClient client(helper->socketPath());
    EXPECT_TRUE(client.renewFor(30).starts_with("failed: "));

    const fs::path marker = directory.path() / "preloaded";
    const auto preloaded = clientProcess(STAYWAKE_TEST_CLIENT, helper->socketPath(),
                                         {std::string("LD_PRELOAD=") + STAYWAKE_PRELOAD_PROBE,
                                          "STAYWAKE_PRELOAD_MARKER=" + marker.string(),
                                          // A sanitized client would refuse a library loaded before its runtime.
                                          "ASAN_OPTIONS=verify_asan_link_order=0"});
    EXPECT_TRUE(preloaded->readLine().starts_with("failed: "));
    EXPECT_TRUE(fs::exists(marker)) << "the library did not run in the client";
    EXPECT_EQ(helper->state(), 0);
    ASSERT_TRUE(logged("refused a connection from uid 0: not authorized by polkit"));
    EXPECT_EQ(journal().count("refused a connection from uid 0: not authorized by polkit"), 1u)
        << "the second refusal within the minute is counted, not logged";
}

TEST_F(LidHelperDaemonTest, PolkitMissingOrSilentRefusesWithinTheAppsReplyTimeout) {
    const std::vector<std::pair<testing::Polkit, std::string>> cases = {
        {testing::Polkit::missing, "refused a connection from uid 0: polkit did not answer: "},
        // sd-bus's own limit on the call and the listener's come together.
        {testing::Polkit::hang, "refused a connection from uid 0: polkit did not answer"},
    };
    for (const auto& [polkit, line] : cases) {
        SCOPED_TRACE(line);
        helper = helperWith(directory.path() / std::to_string(static_cast<int>(polkit)), polkit);
        started();
        testing::LeaseClient client(helper->socketPath());
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_TRUE(client.renewFor(30).starts_with("failed: "));
        const auto waited = std::chrono::steady_clock::now() - asked;
        std::printf("polkit %s: refused after %.0f ms\n", polkit == testing::Polkit::hang ? "silent" : "missing",
                    std::chrono::duration<double, std::milli>(waited).count());
        EXPECT_LT(waited, 1900ms);
        EXPECT_TRUE(journal().waitFor(
            [&, &expected = line](const auto& entry) { return entry.message().starts_with(expected); }));
        EXPECT_EQ(helper->state(), 0);
    }
}

/// The socket's address, made before a fork so the child needs no allocation.
sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    return address;
}

/// A child process running `body` as `uid`, which the test's socket
/// directories must let in. Only system calls after the fork.
pid_t forkAs(uid_t uid, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) {
            ::_exit(120);
        }
        ::_exit(body());
    }
    return pid;
}

int connectTo(const sockaddr_un& address) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

#ifdef __SANITIZE_ADDRESS__
// Every instrumented step of the helper, the flood and the client costs
// several times more: the bound scales with it.
constexpr double sanitizerSlowdown = 4;
#else
constexpr double sanitizerSlowdown = 1;
#endif

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

TEST_F(LidHelperDaemonTest, AConnectFloodOfAnotherUserLeavesAClientsRenewalsFast) {
    fs::permissions(directory.path(), fs::perms(0755));
    started();
    testing::LeaseClient client(helper->socketPath());
    const std::string notANumber = "refused: The lease deadline is not a number.";
    ASSERT_EQ(client.renew(std::nan("")), notANumber); // admitted before the flood

    constexpr int connects = 10'000;
    const auto address = addressOf(helper->socketPath());
    const auto flooded = std::chrono::steady_clock::now();
    const pid_t flooder = forkAs(65534, [&] {
        // Keeps the four connections the user may have and makes and drops
        // the rest, as fast as the helper takes them.
        for (int made = 0; made < connects;) {
            const int fd = connectTo(address);
            if (fd < 0) {
                continue;
            }
            if (++made > 4) {
                ::close(fd);
            }
        }
        return 0;
    });
    // A deadline that is not a number is answered without running the tool,
    // so the round trip is the helper's own: the listener, the main loop and back.
    std::vector<double> roundTrips;
    int status = 0;
    while (::waitpid(flooder, &status, WNOHANG) == 0) {
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_EQ(client.renew(std::nan("")), notANumber);
        roundTrips.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count());
    }
    const double floodSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - flooded).count();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_GE(roundTrips.size(), 10u) << "the flood was over before it could be measured";
    const double p99 = percentile(roundTrips, 0.99);
    std::printf(
        "%d refused connects in %.2f s (%.0f a second): %zu renewals, round trip p50 %.2f ms, p99 %.2f ms, "
        "max %.2f ms\n",
        connects, floodSeconds, connects / floodSeconds, roundTrips.size(), percentile(roundTrips, 0.5), p99,
        percentile(roundTrips, 1.0));
    EXPECT_LT(p99, 50.0 * sanitizerSlowdown);
    ASSERT_TRUE(logged("refused a connection from uid 65534: this user has 4 connections already"));
    EXPECT_LE(journal().count("refused a connection from uid 65534"), 1u) << "refusals are logged once a minute";
}

TEST_F(LidHelperDaemonTest, SigtermWithHundredsOfQueuedRenewalsAndASlowToolStopsFirst) {
    fs::permissions(directory.path(), fs::perms(0755));
    helper->setMode("read", "sleep 0.05");
    started();
    constexpr int users = 10;
    constexpr int connectionsEach = 4;
    constexpr std::uint64_t renewalsEach = LidLeaseSocketConnection::maximumPendingReplies;
    std::vector<std::vector<std::uint8_t>> renewals;
    for (std::uint64_t id = 1; id <= renewalsEach; ++id) {
        renewals.push_back(LidLeaseWireMessage::renewLeaseUntil(id, wallClockNow() + 30).encode());
    }
    const auto address = addressOf(helper->socketPath());
    int ready[2];
    int hold[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(hold, O_CLOEXEC), 0);
    std::vector<pid_t> children;
    for (int user = 0; user < users; ++user) {
        children.push_back(forkAs(static_cast<uid_t>(60000 + user), [&] {
            // Only the test may hold the end that lets every child go.
            ::close(hold[1]);
            int sockets[connectionsEach];
            for (int& socket : sockets) {
                socket = connectTo(address);
            }
            for (int socket : sockets) {
                for (const auto& renewal : renewals) {
                    ::send(socket, renewal.data(), renewal.size(), MSG_NOSIGNAL);
                }
            }
            ::write(ready[1], "r", 1);
            char byte = 0;
            ::read(hold[0], &byte, 1); // until the test ends
            return 0;
        }));
    }
    ::close(ready[1]);
    ::close(hold[0]);
    char byte = 0;
    for (int user = 0; user < users; ++user) {
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    }
    ::close(ready[0]);
    // The queue is filling once the slow reads have begun.
    const std::size_t before = helper->calls().size();
    ASSERT_TRUE(journal().waitForMessage("wrote disablesleep 1, and read it back"));
    const std::size_t served = helper->calls().size() - before;

    const auto signalled = std::chrono::steady_clock::now();
    helper->signal(SIGTERM);
    const auto status = helper->waitForExit(10s);
    const double stopSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    ::close(hold[1]);
    for (const pid_t child : children) {
        ::waitpid(child, nullptr, 0);
    }
    std::printf("%d x %llu renewals queued, %zu tool runs before SIGTERM, %zu in all: exit %d after %.2f s\n",
                users * connectionsEach, static_cast<unsigned long long>(renewalsEach), served,
                helper->calls().size() - before, status.value_or(-99), stopSeconds);
    EXPECT_EQ(status, std::optional<int>(0));
    EXPECT_LT(stopSeconds, 3.0);
    EXPECT_EQ(helper->state(), 0);
    EXPECT_TRUE(logged("stopped, with sleep restored"));
}

TEST(LidHelperCommandLine, PrintingTheJobDescriptionTouchesNothingAndFailsWhenItCannotBeWritten) {
    TemporaryDirectory directory;
    LidHelperProcess helper(directory.path(), STAYWAKE_LID_HELPER);
    const std::string program = helper.helperPath().string();
    EXPECT_EQ(std::system((program + " --launchd-plist > /dev/null").c_str()), 0);
    EXPECT_FALSE(fs::exists(helper.helpersDirectory() / "pmset.calls"));
    EXPECT_TRUE(helper.journal().entries().empty());

    const fs::path errors = directory.path() / "errors";
    const int status = std::system((program + " --launchd-plist > /dev/full 2> " + errors.string()).c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string written = testing::readFile(errors);
    EXPECT_EQ(written.substr(0, written.find('\n')),
              "could not write the launchd plist: standard output could not be written");
}

} // namespace
} // namespace staywake
