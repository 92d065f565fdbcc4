#include "LidHelperProcess.h"

#include <gtest/gtest.h>

#include <fstream>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using LidHelperDaemonTest = testing::LidHelperTest;

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
}

TEST_F(LidHelperDaemonTest, StartsBySayingWhoItIsAndStepsAsideForAnUpdateOnceItsLeaseLapsesByItself) {
    start();
    const std::string path = helper->helperPath().string();
    ASSERT_TRUE(logged("watching " + path + " for an update"));
    EXPECT_EQ(messagesFrom(0),
              (std::vector<std::string>{"helper starting: Staywake 1.4 (57), cdhash " +
                                            testing::codeDirectoryHashOf(path) + ", from " + path,
                                        wrote0, listening, "watching " + path + " for an update"}));
    testing::LeaseClient client(helper->socketPath());
    ASSERT_EQ(client.renewFor(30), "granted");
    EXPECT_EQ(helper->state(), 1);
    // Another build takes the program's path, as an update does: a new file renamed there.
    const fs::path update = helper->helpersDirectory() / ".StaywakeLidHelper.update";
    fs::copy_file(path, update);
    std::ofstream(update, std::ios::app) << "another build";
    fs::permissions(update, fs::perms(0755));
    fs::rename(update, path);
    ASSERT_TRUE(logged(path + " is now another file, a helper with cdhash " + testing::codeDirectoryHashOf(path) +
                       "; it takes over once no lease is held"));
    const auto before = journal().messages().size();
    // A renewal until one second from now replaces the longer term and runs out with nobody giving it back.
    EXPECT_EQ(client.renewFor(1), "granted");
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(0));
    const std::string exiting =
        "exiting, holding no lease and with sleep restored, so launchd starts the helper now in the bundle";
    ASSERT_TRUE(logged(exiting, before));
    EXPECT_EQ(messagesFrom(before), (std::vector<std::string>{wrote0, "lease ended", exiting}));
    EXPECT_EQ(helper->state(), 0);
}

TEST_F(LidHelperDaemonTest, RefusesClientsItCannotTrustWithinTheAppsReplyTimeout) {
    const fs::path shared = directory.path() / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms(0777));
    fs::copy_file(STAYWAKE_TEST_CLIENT, shared / "client");
    fs::permissions(shared / "client", fs::perms(0755));
    const struct {
        std::string polkit;
        fs::path client;
        std::string line;
    } cases[] = {
        {"deny", STAYWAKE_TEST_CLIENT, "refused a connection from uid 0: not authorized by polkit"},
        // sd-bus's own limit on the call and the listener's come together.
        {"hang", STAYWAKE_TEST_CLIENT, "refused a connection from uid 0: polkit did not answer"},
        {"allow", shared / "client",
         "refused a connection from uid 0: its program is not the Staywake app where only root can change it"},
    };
    for (const auto& c : cases) {
        helper = std::make_unique<testing::LidHelperProcess>(directory.path() / std::to_string(&c - cases),
                                                             STAYWAKE_LID_HELPER, c.polkit);
        start();
        const auto asked = std::chrono::steady_clock::now();
        const auto outcome = testing::ChildProcess({c.client.string(), helper->socketPath(), "30"}).readLine();
        EXPECT_TRUE(outcome.starts_with("failed: ")) << c.line << ": " << outcome;
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 1900ms) << c.line;
        EXPECT_TRUE(journal().waitFor([&](const auto& entry) { return entry.message().starts_with(c.line); }));
        EXPECT_EQ(helper->state(), 0);
    }
}

} // namespace
} // namespace staywake
