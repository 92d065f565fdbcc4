// Run by check_install_layout.py --package: the helper extracted from the package grants the
// app's client a lease, so the package's files pass the identity rules as shipped, not only as built.
#include "StaywakeLidHelper/LidHelperProcess.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace staywake {
namespace {

TEST(PackagedLidHelper, GrantsTheAppALeaseFromWhereThePackagePutsIt) {
    const char* helperPath = std::getenv("STAYWAKE_PACKAGED_HELPER");
    ASSERT_NE(helperPath, nullptr) << "run through check_install_layout.py --package";
    if (const auto why = testing::privateRunIsOutOfReach()) {
        STAYWAKE_SKIP(*why);
    }
    testing::TemporaryDirectory directory;
    testing::LidHelperProcess helper(directory.path(), helperPath);
    helper.start();
    ASSERT_TRUE(helper.journal().waitForMessage("listening on com.staywake.app.lidhelper")) << helper.report();
    testing::ChildProcess client({STAYWAKE_TEST_CLIENT, helper.socketPath(), "30"});
    EXPECT_EQ(client.readLine(), "granted") << helper.report();
    client.closeInput();
    client.waitForExit();
    // The lease took effect: the helper turned the setting on.
    const auto calls = helper.callLines();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "-a disablesleep 1"), calls.end()) << helper.report();
}

} // namespace
} // namespace staywake
