#include "LidHelperProcess.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using testing::LidHelperProcess;
using testing::Polkit;
using namespace std::chrono_literals;

/// The test client program as a process of its own: it asks for a 30-second
/// lease and prints its outcome as a line.
std::string clientOutcome(const fs::path& program, const std::string& socketPath,
                          const std::vector<std::string>& environment = {}) {
    testing::ChildOptions options;
    options.environment = environment;
    return testing::ChildProcess({program.string(), socketPath, "30"}, options).readLine();
}

class LidHelperDaemonTest : public testing::LidHelperTest {
protected:
    std::vector<std::string> messagesFrom(std::size_t from) {
        const auto messages = journal().messages();
        return {messages.begin() + static_cast<long>(std::min(from, messages.size())), messages.end()};
    }
    /// Whether the helper is still running one tick of its periodic check (a
    /// second) after the one that logged what it decided.
    bool staysAnotherTick() { return !helper->waitForExit(1250ms); }
};

TEST_F(LidHelperDaemonTest, StartsBySayingWhoItIsGrantsALeaseAndLetsItLapseByItself) {
    start();
    const std::string path = helper->helperPath().string();
    auto messages = messagesFrom(0);
    messages.resize(std::min<std::size_t>(messages.size(), 3));
    EXPECT_EQ(messages,
              (std::vector<std::string>{"helper starting: Staywake 1.4 (57), cdhash " +
                                            testing::codeDirectoryHashOf(helper->helperPath()) + ", from " + path,
                                        wrote0, listening}));
    // The socket is the helper's own: any user may connect, the peer check decides.
    struct stat status {};
    ASSERT_EQ(::stat(helper->socketPath().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666u);

    testing::LeaseClient client(helper->socketPath());
    EXPECT_EQ(client.renewFor(30), "granted");
    EXPECT_EQ(helper->state(), 1);
    const auto granted = journal().waitForMessage("lease granted");
    ASSERT_TRUE(granted);
    // A renewal until one second from now replaces the longer term and runs
    // out with nobody giving it back.
    EXPECT_EQ(client.renewFor(1), "granted");
    const auto ended = journal().waitForMessage("lease ended", *granted);
    ASSERT_TRUE(ended);
    EXPECT_EQ(journal().messages()[*ended - 1], wrote0);
    EXPECT_EQ(helper->state(), 0);
    const auto calls = helper->callLines();
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + std::min<long>(6, std::ssize(calls))),
              (std::vector<std::string>{"-g", "-a disablesleep 0", "-g", "-g", "-a disablesleep 1", "-g"}));
    EXPECT_TRUE(logged("watching " + path + " for an update"));
}

TEST_F(LidHelperDaemonTest, SocketActivatedItTurnsASettingFoundOnOffBeforeAcceptingTheConnection) {
    helper->setState(1);
    ASSERT_TRUE(helper->startSocketActivated());
    // This connection starts the helper: it waits in the socket meanwhile.
    testing::LeaseClient client(helper->socketPath());
    EXPECT_EQ(client.renewFor(30), "granted");
    ASSERT_TRUE(logged(wrote1));
    const auto messages = messagesFrom(1);
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(messages.begin(), messages.begin() + 3),
              (std::vector<std::string>{"found disablesleep 1 at start; this helper holds no lease, so it is "
                                        "writing it off, whoever set it",
                                        wrote0, listening}));
}

TEST_F(LidHelperDaemonTest, SigtermWhileEveryWriteFailsStopsWithAFaultAndExit1) {
    helper->setMode("write-0", "exit 1");
    helper->setMode("write-1", "exit 1");
    start();
    ASSERT_TRUE(logged("sleep is NOT confirmed restored, will retry: pmset exited 1"));
    helper->signal(SIGTERM);
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(1));
    const std::string fault = "stopping with sleep NOT restored; disablesleep may still be 1: pmset exited 1";
    ASSERT_TRUE(logged(fault));
    EXPECT_EQ(journal().entries().back().message(), fault);
    EXPECT_EQ(journal().entries().back().field("PRIORITY"), "2");
    EXPECT_EQ(journal().count("stopped, with sleep restored"), 0u);
}

TEST_F(LidHelperDaemonTest, AMissingProgramFileIsLoggedOnceAndAReplacedOneWaitsForTheLeaseThenStepsAside) {
    start();
    const std::string path = helper->helperPath().string();
    ASSERT_TRUE(logged("watching " + path + " for an update"));
    const fs::path update = helper->helpersDirectory() / ".StaywakeLidHelper.update";
    fs::copy_file(helper->helperPath(), update);
    fs::remove(helper->helperPath());
    const std::string missing =
        "no helper at " + path + "; staying, since launchd has nothing to start in its place";
    ASSERT_TRUE(logged(missing));
    EXPECT_TRUE(staysAnotherTick());
    EXPECT_EQ(journal().count(missing), 1u);

    testing::LeaseClient client(helper->socketPath());
    ASSERT_EQ(client.renewFor(30), "granted");
    // Another build takes the program's path, as an update does: a new file renamed there.
    std::ofstream(update, std::ios::app) << "another build";
    fs::permissions(update, fs::perms(0755));
    fs::rename(update, helper->helperPath());
    ASSERT_TRUE(logged(path + " is now another file, a helper with cdhash " +
                       testing::codeDirectoryHashOf(helper->helperPath()) +
                       "; it takes over once no lease is held"));
    EXPECT_TRUE(staysAnotherTick()) << "stepped aside while a lease was held";
    const auto before = journal().messages().size();
    EXPECT_EQ(client.renew(0), "granted"); // given back
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(0));
    const std::string exiting =
        "exiting, holding no lease and with sleep restored, so launchd starts the helper now in the bundle";
    ASSERT_TRUE(logged(exiting, before));
    EXPECT_EQ(messagesFrom(before), (std::vector<std::string>{wrote0, "lease ended", exiting}));
}

TEST_F(LidHelperDaemonTest, RefusesClientsItCannotTrustWithinTheAppsReplyTimeout) {
    const fs::path shared = directory.path() / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms(0777));
    fs::copy_file(STAYWAKE_TEST_CLIENT, shared / "client");
    fs::permissions(shared / "client", fs::perms(0755));
    const fs::path marker = directory.path() / "preloaded";
    const struct {
        Polkit polkit;
        fs::path helper;
        fs::path client;
        std::string line;
    } cases[] = {
        // The genuine program, with a library preloaded into it as an attacker would.
        {Polkit::deny, STAYWAKE_LID_HELPER, STAYWAKE_TEST_CLIENT,
         "refused a connection from uid 0: not authorized by polkit"},
        {Polkit::missing, STAYWAKE_LID_HELPER, STAYWAKE_TEST_CLIENT,
         "refused a connection from uid 0: polkit did not answer: "},
        // sd-bus's own limit on the call and the listener's come together.
        {Polkit::hang, STAYWAKE_LID_HELPER, STAYWAKE_TEST_CLIENT,
         "refused a connection from uid 0: polkit did not answer"},
        {Polkit::allow, STAYWAKE_LID_HELPER, shared / "client",
         "refused a connection from uid 0: its program is not the Staywake app where only root can change it"},
        {Polkit::allow, STAYWAKE_LID_HELPER_WITHOUT_TEAM_ID, STAYWAKE_TEST_CLIENT,
         "not signed with a Team ID, so no caller can be checked; refusing every connection"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        helper =
            std::make_unique<LidHelperProcess>(directory.path() / std::to_string(&c - cases), c.helper, c.polkit);
        start();
        fs::remove(marker);
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_TRUE(clientOutcome(c.client, helper->socketPath(),
                                  {std::string("LD_PRELOAD=") + STAYWAKE_PRELOAD_PROBE,
                                   "STAYWAKE_PRELOAD_MARKER=" + marker.string(),
                                   // A sanitized client would refuse a library loaded before its runtime.
                                   "ASAN_OPTIONS=verify_asan_link_order=0"})
                        .starts_with("failed: "));
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 1900ms);
        EXPECT_TRUE(fs::exists(marker)) << "the library did not run in the client";
        EXPECT_TRUE(journal().waitFor([&](const auto& entry) { return entry.message().starts_with(c.line); }));
        EXPECT_EQ(helper->state(), 0);
    }
    EXPECT_TRUE(logged("cannot tell this helper from another, so an update will not restart it"));
}

TEST(LidHelperCommandLine, PrintingTheJobDescriptionTouchesNothingAndFailsWhenItCannotBeWritten) {
    testing::TemporaryDirectory directory;
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
