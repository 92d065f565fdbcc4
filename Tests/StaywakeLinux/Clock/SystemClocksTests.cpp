#include "StaywakeLinux/Clock/SystemClocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>

namespace staywake {
namespace {

TEST(SystemClocks, TheWallClockCountsSecondsSince1970WithFractions) {
    // time() reads the kernel's coarse clock, which may trail the precise one
    // by a tick either side of a second boundary: compare with a second's slack.
    const double before = static_cast<double>(std::time(nullptr));
    const Date now = SystemDateProvider().now();
    EXPECT_GE(now.secondsSince1970, before - 1);
    EXPECT_LE(now.secondsSince1970, static_cast<double>(std::time(nullptr)) + 1);
    bool sawFraction = false;
    for (int i = 0; i < 1000 && !sawFraction; ++i) {
        sawFraction = std::fmod(SystemDateProvider().now().secondsSince1970, 1.0) != 0;
    }
    EXPECT_TRUE(sawFraction);
}

TEST(SystemClocks, TheContinuousClockCountsFromBootAndUptimeNeverRunsAheadOfIt) {
    // /proc/uptime counts from boot including time suspended, as the
    // continuous clock must (generous slack: the suite runs in parallel, also under ASan).
    std::ifstream procUptime("/proc/uptime");
    double sinceBoot = 0;
    ASSERT_TRUE(procUptime >> sinceBoot);
    EXPECT_NEAR(SystemContinuousTimeProvider().continuousTime(), sinceBoot, 5.0);
    const double uptime = SystemUptimeProvider().uptime();
    EXPECT_GT(uptime, 0.0);
    EXPECT_GE(SystemContinuousTimeProvider().continuousTime() + 1e-6, uptime);
}

} // namespace
} // namespace staywake
