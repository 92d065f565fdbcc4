// The timers: deadlines on the wall clock, rechecks after a resume or a clock change, work for the GUI thread.
#include "Staywake/System/QtMainRunLoop.h"
#include "Staywake/System/SystemDeadlineRecheckNotifier.h"
#include "Staywake/System/TimerDeadlineScheduler.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/MockBusLauncher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <limits>
#include <memory>
#include <optional>
#include <sys/timerfd.h>
#include <thread>
#include <vector>

namespace staywake {
namespace {

using namespace std::chrono_literals;
using testing::runEventsFor;
using testing::waitUntil;

// Long enough for a second, wrong run to show up on a loaded machine.
constexpr auto quietPeriod = 300ms;

TEST(TimerDeadlineScheduler, RunsOnceNoSoonerThanTheDateOrAfterTheShortestWaitForAPastOne) {
    const struct {
        double offset;
        qint64 atLeastMilliseconds;
    } cases[] = {{-1, 50}, {0, 50}, {std::numeric_limits<double>::quiet_NaN(), 50}, {0.4, 400}};
    for (const auto& c : cases) {
        auto dates = std::make_shared<testing::FakeDateProvider>();
        TimerDeadlineScheduler scheduler(dates);
        int runs = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        scheduler.schedule(dates->now() + c.offset, [&] { ++runs; });
        ASSERT_TRUE(waitUntil([&] { return runs > 0; }));
        EXPECT_GE(elapsed.elapsed(), c.atLeastMilliseconds) << c.offset;
        runEventsFor(quietPeriod);
        EXPECT_EQ(runs, 1) << c.offset;
        EXPECT_FALSE(scheduler.isPending());
    }
}

TEST(TimerDeadlineScheduler, RunsOnlyTheLastScheduledActionWhichMayScheduleTheNextAndCancelDropsIt) {
    auto dates = std::make_shared<testing::FakeDateProvider>();
    TimerDeadlineScheduler scheduler(dates);
    std::vector<int> runs;
    scheduler.schedule(dates->now(), [&] { runs.push_back(0); });
    scheduler.cancel();
    EXPECT_FALSE(scheduler.isPending());
    scheduler.schedule(dates->now() + 0.05, [&] { runs.push_back(1); });
    scheduler.schedule(dates->now() + 0.1, [&] {
        runs.push_back(2);
        scheduler.schedule(dates->now(), [&] { runs.push_back(3); });
    });
    ASSERT_TRUE(waitUntil([&] { return runs.size() >= 2; }));
    runEventsFor(quietPeriod);
    EXPECT_EQ(runs, (std::vector<int>{2, 3}));
}

TEST(TimerDeadlineScheduler, AWaitLongerThanATimerCanCountIsMadeInStepsAgainstTheClock) {
    auto dates = std::make_shared<testing::FakeDateProvider>();
    // Steps of 0.05 s stand in for the day-long steps of the real thing.
    TimerDeadlineScheduler scheduler(dates, 0.05);
    int runs = 0;
    const double thirtyDays = 30.0 * 24 * 60 * 60; // more milliseconds than an int holds
    scheduler.schedule(dates->now() + thirtyDays, [&] { ++runs; });
    TimerDeadlineScheduler unstepped(dates);
    unstepped.schedule(Date::distantFuture(), [&] { runs += 10; });
    runEventsFor(quietPeriod); // several steps pass, the date does not
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(scheduler.isPending());

    dates->advance(thirtyDays);
    ASSERT_TRUE(waitUntil([&] { return runs > 0; }));
    runEventsFor(quietPeriod);
    EXPECT_EQ(runs, 1) << "a far date fired early, or a step ran the action twice";
}

TEST(SystemDeadlineRecheckNotifier, EachResumeOrClockSetCallsOnlyTheLatestHandlerOfALiveNotifierOnce) {
    testing::MockBuses buses({.upower = false, .portal = false});
    STAYWAKE_REQUIRE_BUSES(buses);
    int gone = 0;
    std::optional<SystemDeadlineRecheckNotifier> destroyed(std::in_place, buses.systemBus());
    destroyed->observe([&] { ++gone; });
    destroyed.reset();
    SystemDeadlineRecheckNotifier notifier(buses.systemBus());
    int first = 0;
    int latest = 0;
    notifier.observe([&] { ++first; });
    notifier.observe([&] { ++latest; });
    const auto prepareForSleep = [&](bool starting) {
        buses.control("org.freedesktop.login1", "/org/freedesktop/login1",
                      {"EmitSignal", "sssav", "org.freedesktop.login1.Manager", "PrepareForSleep", "b", "1", "b",
                       starting ? "true" : "false"});
    };
    prepareForSleep(true); // going to sleep: nothing

    // A clock change without touching the host's clock: the descriptor armed to be readable in a millisecond.
    itimerspec soon{};
    soon.it_value.tv_nsec = 1'000'000;
    for (int event = 1; event <= 4; ++event) { // a resume, a clock change, and both again
        if (event % 2 == 1) {
            prepareForSleep(false);
        } else {
            ASSERT_EQ(::timerfd_settime(notifier.clockSetDescriptor(), 0, &soon, nullptr), 0);
        }
        ASSERT_TRUE(waitUntil([&] { return latest >= event; }));
        runEventsFor(quietPeriod);
        EXPECT_EQ(latest, event) << "one event, one call, at event " << event;
        // The clock-set watch is armed again at the end of time, on the realtime clock.
        itimerspec armed{};
        ASSERT_EQ(::timerfd_gettime(notifier.clockSetDescriptor(), &armed), 0);
        EXPECT_GT(armed.it_value.tv_sec, 100LL * 365 * 24 * 60 * 60) << event;
    }
    EXPECT_EQ(first, 0);
    EXPECT_EQ(gone, 0);
}

TEST(QtMainRunLoop, RunsWorkFromAnyThreadOnTheGuiThreadInOrderAndDelayedWorkAfterItsDelay) {
    QtMainRunLoop runLoop(*QCoreApplication::instance());
    std::vector<int> order; // what ran, in turn, negative when not on the GUI thread; 9: the delayed action
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 delayedAfter = -1;
    const auto note = [&](int what) {
        order.push_back(QThread::currentThread() == QCoreApplication::instance()->thread() ? what : -what);
    };
    std::thread worker([&] {
        runLoop.perform(0.2, [&] {
            delayedAfter = elapsed.elapsed();
            note(9);
        });
        for (int i = 1; i <= 3; ++i) {
            runLoop.perform([&, i] { note(i); });
        }
        runLoop.perform(-1, [&] { note(4); });
        runLoop.perform(std::numeric_limits<double>::quiet_NaN(), [&] { note(5); });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "perform ran the action on the calling thread";

    ASSERT_TRUE(waitUntil([&] { return order.size() == 6; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 9}));
    EXPECT_GE(delayedAfter, 200);
}

} // namespace
} // namespace staywake
