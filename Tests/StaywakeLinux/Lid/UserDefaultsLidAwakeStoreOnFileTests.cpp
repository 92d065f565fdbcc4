#include "StaywakeCore/Lid/UserDefaultsLidAwakeStore.h"
#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"
#include "Support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <memory>

namespace staywake {
namespace {

// Two instances of the app share one defaults file: an acknowledgement written
// through one is read through the other.
TEST(UserDefaultsLidAwakeStoreOnFile, SeesAnAcknowledgementAnotherInstanceWrote) {
    testing::TemporaryDirectory directory;
    UserDefaultsLidAwakeStore first(std::make_shared<PlistFileUserDefaults>(directory.path()));
    UserDefaultsLidAwakeStore second(std::make_shared<PlistFileUserDefaults>(directory.path()));
    EXPECT_FALSE(second.hasAcknowledgedHeatWarning());

    first.setHasAcknowledgedHeatWarning(true);
    EXPECT_TRUE(second.hasAcknowledgedHeatWarning());

    second.setHasAcknowledgedHeatWarning(false);
    EXPECT_FALSE(first.hasAcknowledgedHeatWarning());

    // An instance opened later reads what is on disk.
    first.setHasAcknowledgedHeatWarning(true);
    EXPECT_TRUE(UserDefaultsLidAwakeStore(std::make_shared<PlistFileUserDefaults>(directory.path()))
                    .hasAcknowledgedHeatWarning());
}

} // namespace
} // namespace staywake
