// The lid helper with the real pmset tool beside it instead of the fake,
// against a mocked logind: a granted lease is Night Brew's logind lock, and
// the lock goes when the lease lapses and when the helper stops.

#include "LidHelperProcess.h"
#include "PmsetTesting.h"

#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"

#include <gtest/gtest.h>

#include <future>
#include <iostream>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using testing::wallClockNow;

class LidHelperWithTheRealTool : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto why = testing::privateRunIsOutOfReach()) {
            STAYWAKE_SKIP(*why);
        }
        if (testing::isSanitized) {
            // Not an environment that could be fixed: the debug build runs this case.
            GTEST_SKIP() << "a sanitized pmset takes longer to start than the helper's 0.25 s read limit";
        }
        helper = std::make_unique<testing::LidHelperProcess>(directory.path(), STAYWAKE_LID_HELPER);
        // The helper, and the tool it runs, talk to the mocked logind of the
        // helper's private system bus; the test reads the locks there too.
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", helper->systemBusAddress().c_str(), 1);
        fs::copy_file(PMSET_TOOL, helper->helpersDirectory() / "pmset", fs::copy_options::overwrite_existing);
        helper->start();
        ASSERT_TRUE(helper->journal().waitForMessage("listening on com.staywake.app.lidhelper"));
    }

    void TearDown() override {
        if (helper && HasFailure()) {
            std::cerr << helper->report();
        }
        helper.reset();
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

    /// "granted", "refused: <text>" or "failed: <reason>".
    std::string renewFor(double seconds) {
        std::promise<std::string> outcome;
        connection->renewLease(
            wallClockNow() + seconds,
            [&](std::optional<std::string> text) { outcome.set_value(text ? "refused: " + *text : "granted"); },
            [&](const std::string& reason) { outcome.set_value("failed: " + reason); });
        return outcome.get_future().get();
    }

    testing::TemporaryDirectory directory;
    std::unique_ptr<testing::LidHelperProcess> helper;
    std::unique_ptr<LidLeaseClientConnection> connection;
};

TEST_F(LidHelperWithTheRealTool, AGrantedLeaseIsTheLockWhichGoesWhenItLapsesAndWhenTheHelperStops) {
    connection = std::make_unique<LidLeaseClientConnection>(helper->socketPath());
    connection->resume();
    EXPECT_EQ(testing::nightBrewLocks(), 0u);

    EXPECT_EQ(renewFor(30), "granted");
    EXPECT_EQ(testing::nightBrewLocks(), 1u) << "the reply comes after the lock is confirmed";
    const auto granted = helper->journal().waitForMessage("lease granted");
    ASSERT_TRUE(granted);

    EXPECT_EQ(renewFor(1), "granted");
    const auto ended = helper->journal().waitForMessage("lease ended", *granted);
    ASSERT_TRUE(ended);
    EXPECT_EQ(helper->journal().messages()[*ended - 1], "wrote disablesleep 0, and read it back");
    EXPECT_EQ(testing::nightBrewLocks(), 0u);

    EXPECT_EQ(renewFor(30), "granted");
    EXPECT_EQ(testing::nightBrewLocks(), 1u);
    helper->signal(SIGTERM);
    EXPECT_EQ(helper->waitForExit(), std::optional<int>(0));
    EXPECT_TRUE(helper->journal().waitForMessage("stopped, with sleep restored"));
    EXPECT_EQ(testing::nightBrewLocks(), 0u);
}

} // namespace
} // namespace staywake
