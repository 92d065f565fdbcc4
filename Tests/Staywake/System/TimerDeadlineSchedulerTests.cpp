#include "MockBuses.h"
#include "Staywake/System/TimerDeadlineScheduler.h"
#include "Support/Fakes/FakeClocks.h"

#include <QElapsedTimer>
#include <chrono>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace staywake {
namespace {

using namespace std::chrono_literals;
using testing::FakeDateProvider;
using testing::runEventsFor;
using testing::waitUntil;

// Long enough for a second, wrong run to show up on a loaded machine.
constexpr auto quietPeriod = 300ms;

TEST(TimerDeadlineScheduler, ADateInThePastOrNotANumberRunsOnceAfterTheShortestWait) {
    for (const double offset : {-3600.0, 0.0, std::numeric_limits<double>::quiet_NaN()}) {
        auto dates = std::make_shared<FakeDateProvider>();
        TimerDeadlineScheduler scheduler(dates);
        int runs = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        scheduler.schedule(dates->now() + offset, [&] { ++runs; });

        ASSERT_TRUE(waitUntil([&] { return runs > 0; })) << offset;
        EXPECT_GE(elapsed.elapsed(), 50) << offset;
        EXPECT_LT(elapsed.elapsed(), 5000) << offset;
        runEventsFor(quietPeriod);
        EXPECT_EQ(runs, 1) << offset;
        EXPECT_FALSE(scheduler.isPending());
    }
}

TEST(TimerDeadlineScheduler, RunsNoSoonerThanTheDate) {
    auto dates = std::make_shared<FakeDateProvider>();
    TimerDeadlineScheduler scheduler(dates);
    bool ran = false;
    QElapsedTimer elapsed;
    elapsed.start();
    scheduler.schedule(dates->now() + 0.4, [&] { ran = true; });
    ASSERT_TRUE(waitUntil([&] { return ran; }));
    EXPECT_GE(elapsed.elapsed(), 400);
}

TEST(TimerDeadlineScheduler, OnlyTheLastScheduledActionRuns) {
    auto dates = std::make_shared<FakeDateProvider>();
    TimerDeadlineScheduler scheduler(dates);
    std::vector<std::string> runs;
    scheduler.schedule(dates->now() + 0.05, [&] { runs.emplace_back("first"); });
    scheduler.schedule(dates->now() + 0.1, [&] { runs.emplace_back("second"); });

    ASSERT_TRUE(waitUntil([&] { return !runs.empty(); }));
    runEventsFor(quietPeriod);
    EXPECT_EQ(runs, std::vector<std::string>{"second"});
}

TEST(TimerDeadlineScheduler, CancelDropsThePendingActionAndIsHarmlessWithNothingPending) {
    auto dates = std::make_shared<FakeDateProvider>();
    TimerDeadlineScheduler scheduler(dates);
    scheduler.cancel();
    scheduler.cancel();

    int runs = 0;
    scheduler.schedule(dates->now(), [&] { ++runs; });
    scheduler.cancel();
    EXPECT_FALSE(scheduler.isPending());
    runEventsFor(quietPeriod);
    EXPECT_EQ(runs, 0);

    scheduler.schedule(dates->now(), [&] { ++runs; });
    EXPECT_TRUE(waitUntil([&] { return runs == 1; })) << "a cancelled scheduler schedules again";
}

TEST(TimerDeadlineScheduler, AnActionMayScheduleTheNextOne) {
    auto dates = std::make_shared<FakeDateProvider>();
    TimerDeadlineScheduler scheduler(dates);
    std::vector<int> runs;
    scheduler.schedule(dates->now(), [&] {
        runs.push_back(1);
        scheduler.schedule(dates->now(), [&] { runs.push_back(2); });
    });
    ASSERT_TRUE(waitUntil([&] { return runs.size() == 2; }));
    runEventsFor(quietPeriod);
    EXPECT_EQ(runs, (std::vector<int>{1, 2}));
}

TEST(TimerDeadlineScheduler, AWaitLongerThanATimerCanCountIsMadeInStepsAgainstTheClock) {
    auto dates = std::make_shared<FakeDateProvider>();
    // Steps of 0.05 s stand in for the day-long steps of the real thing.
    TimerDeadlineScheduler scheduler(dates, 0.05);
    int runs = 0;
    const double thirtyDays = 30.0 * 24 * 60 * 60; // more milliseconds than an int holds
    scheduler.schedule(dates->now() + thirtyDays, [&] { ++runs; });

    runEventsFor(quietPeriod); // several steps pass, the date does not
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(scheduler.isPending());

    dates->advance(thirtyDays);
    ASSERT_TRUE(waitUntil([&] { return runs == 1; }));
    runEventsFor(quietPeriod);
    EXPECT_EQ(runs, 1);
}

TEST(TimerDeadlineScheduler, AFarDateDoesNotFireEarly) {
    auto dates = std::make_shared<FakeDateProvider>();
    TimerDeadlineScheduler scheduler(dates);
    int runs = 0;
    scheduler.schedule(Date::distantFuture(), [&] { ++runs; });
    runEventsFor(quietPeriod);
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(scheduler.isPending());
}

} // namespace
} // namespace staywake
