#include "Staywake/System/SystemDeadlineRecheckNotifier.h"
#include "Support/MockBusLauncher.h"

#include <functional>
#include <optional>
#include <sys/timerfd.h>

namespace staywake {
namespace {

using namespace std::chrono_literals;

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

    // Makes the clock-set descriptor readable as a clock change would, without
    // touching the host's clock: a one-millisecond relative arm.
    const auto clockSet = [&] {
        itimerspec soon{};
        soon.it_value.tv_nsec = 1'000'000;
        ASSERT_EQ(::timerfd_settime(notifier.clockSetDescriptor(), 0, &soon, nullptr), 0);
    };
    const auto resume = [&] { prepareForSleep(false); };
    const std::function<void()> events[] = {resume, clockSet, resume, clockSet};
    for (int event = 1; event <= 4; ++event) {
        events[event - 1]();
        ASSERT_TRUE(testing::waitUntil([&] { return latest >= event; }));
        testing::runEventsFor(300ms);
        EXPECT_EQ(latest, event) << "one event, one call, at event " << event;
        // The clock-set watch is armed again at the end of time, on the realtime clock.
        itimerspec armed{};
        ASSERT_EQ(::timerfd_gettime(notifier.clockSetDescriptor(), &armed), 0);
        EXPECT_GT(armed.it_value.tv_sec, 100LL * 365 * 24 * 60 * 60) << event;
    }
    EXPECT_EQ(first, 0);
    EXPECT_EQ(gone, 0);
}

} // namespace
} // namespace staywake
