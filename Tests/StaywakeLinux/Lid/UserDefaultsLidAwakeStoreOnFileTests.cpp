#include "StaywakeCore/Lid/UserDefaultsLidAwakeStore.h"
#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"
#include "Support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <memory>

namespace staywake {
namespace {

// Two instances of the app (or the app and a second copy of its store) share
// one defaults file: an acknowledgement written by one is read by the other.
TEST(UserDefaultsLidAwakeStoreOnFile, SeesAnAcknowledgementAnotherInstanceWrote) {
    testing::TemporaryDirectory directory;
    UserDefaultsLidAwakeStore first(std::make_shared<PlistFileUserDefaults>(directory.path()));
    UserDefaultsLidAwakeStore second(std::make_shared<PlistFileUserDefaults>(directory.path()));
    EXPECT_FALSE(second.hasAcknowledgedHeatWarning());

    first.setHasAcknowledgedHeatWarning(true);
    EXPECT_TRUE(second.hasAcknowledgedHeatWarning());

    second.setHasAcknowledgedHeatWarning(false);
    EXPECT_FALSE(first.hasAcknowledgedHeatWarning());

    // A third instance opened later reads what is on disk.
    first.setHasAcknowledgedHeatWarning(true);
    EXPECT_TRUE(UserDefaultsLidAwakeStore(std::make_shared<PlistFileUserDefaults>(directory.path()))
                    .hasAcknowledgedHeatWarning());
}

} // namespace
} // namespace staywake
