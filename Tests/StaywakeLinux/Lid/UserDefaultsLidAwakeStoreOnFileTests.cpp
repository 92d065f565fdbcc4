#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/Lid/LidAwakeController.h"
#include "StaywakeCore/Lid/UserDefaultsLidAwakeStore.h"
#include "StaywakeCore/Machine/StaticMachineConditions.h"
#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"
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

class NoConditionChanges final : public MachineConditionsNotifier {
public:
    void observe(Handler) override {}
};

TEST(UserDefaultsLidAwakeStoreOnFile, TheControllersRefreshPicksUpAnotherInstancesAcknowledgement) {
    testing::TemporaryDirectory directory;
    const auto dates = std::make_shared<testing::FakeDateProvider>();
    const auto awake = std::make_shared<AwakeController>(
        std::make_shared<InMemorySleepBlocker>(), std::make_shared<InMemoryAwakeIntentStore>(), dates,
        std::make_shared<testing::FakeContinuousTimeProvider>(), std::make_shared<testing::ManualDeadlineScheduler>(),
        std::make_shared<testing::ManualRecheckNotifier>(), false);
    LidAwakeController lid(awake, std::make_shared<InMemoryLidSleepBlocker>(),
                           std::make_shared<UserDefaultsLidAwakeStore>(
                               std::make_shared<PlistFileUserDefaults>(directory.path())),
                           std::make_shared<StaticMachineConditions>(false, true),
                           std::make_shared<NoConditionChanges>(), dates,
                           std::make_shared<testing::ManualDeadlineScheduler>(),
                           std::make_shared<testing::ManualDeadlineScheduler>());
    ASSERT_FALSE(lid.hasAcknowledgedHeatWarning());
    EXPECT_FALSE(lid.turnOn(std::nullopt));

    UserDefaultsLidAwakeStore(std::make_shared<PlistFileUserDefaults>(directory.path()))
        .setHasAcknowledgedHeatWarning(true);
    lid.refresh();
    EXPECT_TRUE(lid.hasAcknowledgedHeatWarning());
    EXPECT_TRUE(lid.turnOn(std::nullopt));
    EXPECT_TRUE(lid.isOn());
}

} // namespace
} // namespace staywake
