#include "MockBuses.h"
#include "Staywake/System/SystemDeadlineRecheckNotifier.h"
#include "Support/TestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <sys/timerfd.h>

namespace staywake {
namespace {

using namespace std::chrono_literals;
using testing::MockBuses;
using testing::runEventsFor;
using testing::waitUntil;

constexpr auto quietPeriod = 300ms;

void emitPrepareForSleep(const MockBuses& buses, bool starting) {
    const auto reply = buses.emitPrepareForSleep(starting);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
}

// Fires the clock-set descriptor the way a clock change would make it
// readable, without touching the host's clock: a one-millisecond relative arm.
void fireClockSetDescriptor(const SystemDeadlineRecheckNotifier& notifier) {
    itimerspec soon{};
    soon.it_value.tv_nsec = 1'000'000;
    ASSERT_EQ(::timerfd_settime(notifier.clockSetDescriptor(), 0, &soon, nullptr), 0);
}

TEST(SystemDeadlineRecheckNotifier, ResumeCallsOnlyTheLatestHandlerOnce) {
    MockBuses buses;
    if (buses.isMissingATool()) {
        STAYWAKE_SKIP(buses.failure().toStdString());
    }
    ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();

    SystemDeadlineRecheckNotifier notifier(buses.systemBus());
    int first = 0;
    int second = 0;
    notifier.observe([&] { ++first; });
    notifier.observe([&] { ++second; });

    emitPrepareForSleep(buses, true); // going to sleep: nothing to check yet
    emitPrepareForSleep(buses, false);
    ASSERT_TRUE(waitUntil([&] { return second > 0; }));
    runEventsFor(quietPeriod);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(first, 0);

    emitPrepareForSleep(buses, false);
    ASSERT_TRUE(waitUntil([&] { return second == 2; }));
}

TEST(SystemDeadlineRecheckNotifier, ADestroyedNotifierCallsNothing) {
    MockBuses buses;
    if (buses.isMissingATool()) {
        STAYWAKE_SKIP(buses.failure().toStdString());
    }
    ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();

    int gone = 0;
    int witness = 0;
    std::optional<SystemDeadlineRecheckNotifier> notifier(std::in_place, buses.systemBus());
    notifier->observe([&] { ++gone; });
    notifier.reset();
    SystemDeadlineRecheckNotifier other(buses.systemBus());
    other.observe([&] { ++witness; });

    emitPrepareForSleep(buses, false);
    ASSERT_TRUE(waitUntil([&] { return witness == 1; })); // the signal has been delivered
    EXPECT_EQ(gone, 0);
}

TEST(SystemDeadlineRecheckNotifier, EachClockSetEventCallsTheLatestHandlerOnceAndRearmsTheWatch) {
    const QDBusConnection noBus(QStringLiteral("staywake-test-never-connected"));
    SystemDeadlineRecheckNotifier notifier(noBus);
    int first = 0;
    int second = 0;
    notifier.observe([&] { ++first; });
    notifier.observe([&] { ++second; });

    for (int event = 1; event <= 2; ++event) {
        fireClockSetDescriptor(notifier);
        ASSERT_TRUE(waitUntil([&] { return second >= event; })) << "event " << event;
        runEventsFor(quietPeriod);
        EXPECT_EQ(second, event) << "one event, one call";

        // Armed again at the end of time, on the realtime clock.
        itimerspec armed{};
        ASSERT_EQ(::timerfd_gettime(notifier.clockSetDescriptor(), &armed), 0);
        EXPECT_GT(armed.it_value.tv_sec, 100LL * 365 * 24 * 60 * 60);
    }
    EXPECT_EQ(first, 0);
}

TEST(SystemDeadlineRecheckNotifier, NoHandlerYetIsFine) {
    const QDBusConnection noBus(QStringLiteral("staywake-test-never-connected"));
    SystemDeadlineRecheckNotifier notifier(noBus);
    fireClockSetDescriptor(notifier);
    runEventsFor(quietPeriod);
    int calls = 0;
    notifier.observe([&] { ++calls; });
    fireClockSetDescriptor(notifier);
    EXPECT_TRUE(waitUntil([&] { return calls == 1; }));
}

} // namespace
} // namespace staywake
