// The awake controller wired with the real Linux mechanisms: inhibit locks on
// the mocked buses, the Qt deadline timer and the recheck notifier.

#include "MockBuses.h"
#include "Staywake/System/InhibitSleepBlocker.h"
#include "Staywake/System/SystemDeadlineRecheckNotifier.h"
#include "Staywake/System/TimerDeadlineScheduler.h"
#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeLinux/Clock/SystemClocks.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/TestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>
#include <sys/timerfd.h>

namespace staywake {
namespace {

using testing::FakeContinuousTimeProvider;
using testing::FakeDateProvider;
using testing::logindInhibitors;
using testing::MockBuses;
using testing::portalInhibitions;
using testing::waitUntil;

const QString reason = QStringLiteral("Staywake is keeping this computer awake");

struct AwakeControllerOnLinux : ::testing::Test {
    MockBuses buses;
    std::shared_ptr<InhibitSleepBlocker> blocker;
    std::shared_ptr<SystemDeadlineRecheckNotifier> recheck;

    void SetUp() override {
        if (buses.isMissingATool()) {
            STAYWAKE_SKIP(buses.failure().toStdString());
        }
        ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
        blocker = std::make_shared<InhibitSleepBlocker>(buses.sessionBus(), buses.systemBus(), reason);
        recheck = std::make_shared<SystemDeadlineRecheckNotifier>(buses.systemBus());
    }

    std::unique_ptr<AwakeController>
    controllerWith(std::shared_ptr<const DateProvider> dates,
                   std::shared_ptr<const ContinuousTimeProvider> continuous) {
        return std::make_unique<AwakeController>(blocker, std::make_shared<InMemoryAwakeIntentStore>(), dates,
                                                 continuous, std::make_shared<TimerDeadlineScheduler>(dates),
                                                 recheck, false);
    }

    bool holdsTheLocks() const {
        const auto locks = logindInhibitors(buses.systemBus());
        std::size_t active = 0;
        for (const auto& inhibition : portalInhibitions(buses.sessionBus())) {
            active += inhibition.active ? 1 : 0;
        }
        return locks.size() == 1 && locks[0].what == QStringLiteral("idle") && active == 1;
    }

    bool holdsNoLock() const {
        for (const auto& inhibition : portalInhibitions(buses.sessionBus())) {
            if (inhibition.active) {
                return false;
            }
        }
        return logindInhibitors(buses.systemBus()).empty();
    }
};

TEST_F(AwakeControllerOnLinux, HoldsTheLockWhileASessionRunsAndDropsItWhenTheDeadlinePasses) {
    auto controller = controllerWith(std::make_shared<SystemDateProvider>(),
                                     std::make_shared<SystemContinuousTimeProvider>());
    QElapsedTimer elapsed;
    elapsed.start();
    controller->turnOn(0.5);

    EXPECT_TRUE(controller->isOn().get());
    EXPECT_EQ(controller->lastFailure().get(), std::nullopt);
    EXPECT_TRUE(holdsTheLocks());

    ASSERT_TRUE(waitUntil([&] { return !controller->isOn().get(); }));
    EXPECT_GE(elapsed.elapsed(), 500);
    EXPECT_FALSE(controller->isRequested().get());
    EXPECT_TRUE(waitUntil([&] { return holdsNoLock(); }));
}

TEST_F(AwakeControllerOnLinux, ASessionSleptThroughEndsWhenTheMachineResumes) {
    auto dates = std::make_shared<FakeDateProvider>();
    auto continuous = std::make_shared<FakeContinuousTimeProvider>();
    auto controller = controllerWith(dates, continuous);
    controller->turnOn(3600);
    ASSERT_TRUE(holdsTheLocks());

    dates->advance(7200); // asleep for two hours: both clocks moved on
    continuous->advance(7200);
    const auto reply = buses.emitPrepareForSleep(false);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();

    ASSERT_TRUE(waitUntil([&] { return !controller->isOn().get(); }));
    EXPECT_TRUE(waitUntil([&] { return holdsNoLock(); }));
}

TEST_F(AwakeControllerOnLinux, ASessionEndsWhenTheWallClockIsSetPastItsDeadline) {
    auto dates = std::make_shared<FakeDateProvider>();
    auto continuous = std::make_shared<FakeContinuousTimeProvider>();
    auto controller = controllerWith(dates, continuous);
    controller->turnOn(3600);
    ASSERT_TRUE(holdsTheLocks());

    dates->advance(7200); // the wall clock jumps; the continuous clock does not
    itimerspec soon{};
    soon.it_value.tv_nsec = 1'000'000;
    ASSERT_EQ(::timerfd_settime(recheck->clockSetDescriptor(), 0, &soon, nullptr), 0);

    ASSERT_TRUE(waitUntil([&] { return !controller->isOn().get(); }));
    EXPECT_TRUE(waitUntil([&] { return holdsNoLock(); }));
}

} // namespace
} // namespace staywake
