// The awake controller wired with the real Linux mechanisms: inhibit locks on
// the mocked buses, the Qt deadline timer and the clocks.

#include "MockBuses.h"
#include "Staywake/System/InhibitSleepBlocker.h"
#include "Staywake/System/SystemDeadlineRecheckNotifier.h"
#include "Staywake/System/TimerDeadlineScheduler.h"
#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeLinux/Clock/SystemClocks.h"
#include "Support/TestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>

namespace staywake {
namespace {

using testing::logindInhibitors;
using testing::waitUntil;

TEST(AwakeControllerOnLinux, HoldsTheLockWhileASessionRunsAndDropsItWhenTheDeadlinePasses) {
    testing::MockBuses buses({.upower = false, .portal = false});
    if (buses.isMissingATool()) {
        STAYWAKE_SKIP(buses.failure().toStdString());
    }
    ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
    const auto dates = std::make_shared<SystemDateProvider>();
    AwakeController controller(
        std::make_shared<InhibitSleepBlocker>(buses.sessionBus(), buses.systemBus(), QStringLiteral("Staywake")),
        std::make_shared<InMemoryAwakeIntentStore>(), dates, std::make_shared<SystemContinuousTimeProvider>(),
        std::make_shared<TimerDeadlineScheduler>(dates),
        std::make_shared<SystemDeadlineRecheckNotifier>(buses.systemBus()), false);
    QElapsedTimer elapsed;
    elapsed.start();
    controller.turnOn(0.5);
    EXPECT_TRUE(controller.isOn().get());
    EXPECT_EQ(logindInhibitors(buses.systemBus()).size(), 1u);

    ASSERT_TRUE(waitUntil([&] { return !controller.isOn().get(); }));
    EXPECT_GE(elapsed.elapsed(), 500);
    EXPECT_FALSE(controller.isRequested().get());
    EXPECT_TRUE(waitUntil([&] { return logindInhibitors(buses.systemBus()).empty(); }));
}

} // namespace
} // namespace staywake
