#include "StaywakeLinux/Clock/SystemClocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>

namespace staywake {
namespace {

// Generous bounds: the suite runs in parallel on two cores, also under ASan.
constexpr double slack = 5.0;

TEST(SystemClocks, TheWallClockCountsSecondsSince1970) {
    // time() reads the kernel's coarse clock, which may trail the precise one
    // by a tick either side of a second boundary: compare with a second's slack.
    const double before = static_cast<double>(std::time(nullptr));
    const Date now = SystemDateProvider().now();
    const double after = static_cast<double>(std::time(nullptr));
    EXPECT_GE(now.secondsSince1970, before - 1);
    EXPECT_LE(now.secondsSince1970, after + 1);
    // Sub-second resolution, not whole seconds.
    bool sawFraction = false;
    for (int i = 0; i < 1000 && !sawFraction; ++i) {
        const double seconds = SystemDateProvider().now().secondsSince1970;
        sawFraction = seconds != std::floor(seconds);
    }
    EXPECT_TRUE(sawFraction);
}

TEST(SystemClocks, TheContinuousClockCountsFromBootLikeTheKernelsUptime) {
    // /proc/uptime counts from boot including time suspended, as the
    // continuous clock must.
    std::ifstream procUptime("/proc/uptime");
    double sinceBoot = 0;
    ASSERT_TRUE(procUptime >> sinceBoot);
    const double continuous = SystemContinuousTimeProvider().continuousTime();
    EXPECT_NEAR(continuous, sinceBoot, slack);
}

TEST(SystemClocks, NeitherSteadyClockGoesBackAndUptimeNeverRunsAheadOfContinuousTime) {
    const SystemUptimeProvider uptime;
    const SystemContinuousTimeProvider continuous;
    double lastUptime = uptime.uptime();
    double lastContinuous = continuous.continuousTime();
    for (int i = 0; i < 1000; ++i) {
        const double u = uptime.uptime();
        const double c = continuous.continuousTime();
        ASSERT_GE(u, lastUptime);
        ASSERT_GE(c, lastContinuous);
        // Continuous time is uptime plus the time spent suspended.
        ASSERT_GE(c + 1e-6, u);
        lastUptime = u;
        lastContinuous = c;
    }
    EXPECT_GT(lastUptime, 0.0);
}

} // namespace
} // namespace staywake
