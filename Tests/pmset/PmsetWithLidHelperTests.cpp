// The lid helper with the real pmset tool beside it instead of the fake,
// against a mocked logind: a granted lease is Night Brew's logind lock, which
// goes when the helper stops.

#include "PmsetTesting.h"
#include "StaywakeLidHelper/LidHelperProcess.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(LidHelperWithTheRealTool, AGrantedLeaseIsTheLockWhichGoesWhenTheHelperStops) {
    if (const auto why = testing::privateRunIsOutOfReach()) {
        STAYWAKE_SKIP(*why);
    }
    if (testing::isSanitized) {
        // Not an environment that could be fixed: the debug build runs this case.
        GTEST_SKIP() << "a sanitized pmset takes longer to start than the helper's 0.25 s read limit";
    }
    testing::TemporaryDirectory directory;
    testing::LidHelperProcess helper(directory.path(), STAYWAKE_LID_HELPER);
    // The helper, the tool it runs and the test meet the mocked logind on the helper's private system bus.
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", helper.systemBusAddress().c_str(), 1);
    std::filesystem::copy_file(PMSET_TOOL, helper.helpersDirectory() / "pmset",
                               std::filesystem::copy_options::overwrite_existing);
    helper.start();
    ASSERT_TRUE(helper.journal().waitForMessage("listening on com.staywake.app.lidhelper")) << helper.report();

    EXPECT_EQ(testing::LeaseClient(helper.socketPath()).renewFor(30), "granted");
    EXPECT_EQ(testing::nightBrewLocks(), 1u) << "the reply comes after the lock is confirmed";
    helper.signal(SIGTERM);
    EXPECT_EQ(helper.waitForExit(), std::optional<int>(0));
    EXPECT_EQ(testing::nightBrewLocks(), 0u);
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

} // namespace
} // namespace staywake
