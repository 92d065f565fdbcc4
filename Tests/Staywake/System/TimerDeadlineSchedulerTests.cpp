#include "Staywake/System/TimerDeadlineScheduler.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/MockBusLauncher.h"

#include <QElapsedTimer>
#include <limits>
#include <memory>
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

} // namespace
} // namespace staywake
