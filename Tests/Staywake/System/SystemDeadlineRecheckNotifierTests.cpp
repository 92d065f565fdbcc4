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
using testing::runEventsFor;
using testing::waitUntil;

TEST(SystemDeadlineRecheckNotifier, EachResumeCallsOnlyTheLatestHandlerOfALiveNotifierOnce) {
    testing::MockBuses buses({.upower = false, .portal = false});
    if (buses.isMissingATool()) {
        STAYWAKE_SKIP(buses.failure().toStdString());
    }
    ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
    int gone = 0;
    std::optional<SystemDeadlineRecheckNotifier> destroyed(std::in_place, buses.systemBus());
    destroyed->observe([&] { ++gone; });
    destroyed.reset();
    SystemDeadlineRecheckNotifier notifier(buses.systemBus());
    int first = 0;
    int latest = 0;
    notifier.observe([&] { ++first; });
    notifier.observe([&] { ++latest; });

    ASSERT_EQ(buses.emitPrepareForSleep(true).type(),
              QDBusMessage::ReplyMessage); // going to sleep: nothing yet
    for (int resume = 1; resume <= 2; ++resume) {
        ASSERT_EQ(buses.emitPrepareForSleep(false).type(), QDBusMessage::ReplyMessage);
        ASSERT_TRUE(waitUntil([&] { return latest >= resume; }));
        runEventsFor(300ms);
        EXPECT_EQ(latest, resume);
    }
    EXPECT_EQ(first, 0);
    EXPECT_EQ(gone, 0);
}

TEST(SystemDeadlineRecheckNotifier, EachClockSetEventCallsTheLatestHandlerOnceAndRearmsTheWatch) {
    SystemDeadlineRecheckNotifier notifier(QDBusConnection(QStringLiteral("staywake-test-never-connected")));
    // Makes the clock-set descriptor readable as a clock change would, without
    // touching the host's clock: a one-millisecond relative arm.
    const auto clockSet = [&] {
        itimerspec soon{};
        soon.it_value.tv_nsec = 1'000'000;
        ASSERT_EQ(::timerfd_settime(notifier.clockSetDescriptor(), 0, &soon, nullptr), 0);
    };
    clockSet(); // no handler yet is fine
    runEventsFor(300ms);
    int first = 0;
    int latest = 0;
    notifier.observe([&] { ++first; });
    notifier.observe([&] { ++latest; });
    for (int event = 1; event <= 2; ++event) {
        clockSet();
        ASSERT_TRUE(waitUntil([&] { return latest >= event; })) << "event " << event;
        runEventsFor(300ms);
        EXPECT_EQ(latest, event) << "one event, one call";
        // Armed again at the end of time, on the realtime clock.
        itimerspec armed{};
        ASSERT_EQ(::timerfd_gettime(notifier.clockSetDescriptor(), &armed), 0);
        EXPECT_GT(armed.it_value.tv_sec, 100LL * 365 * 24 * 60 * 60);
    }
    EXPECT_EQ(first, 0);
}

} // namespace
} // namespace staywake
