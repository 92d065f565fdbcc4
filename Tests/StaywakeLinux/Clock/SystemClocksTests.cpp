#include "StaywakeLinux/Clock/SystemClocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>

namespace staywake {
namespace {

TEST(SystemClocks, TheWallClockHasFractionsAndTheContinuousClockCountsFromBootAheadOfUptime) {
    // time() reads the kernel's coarse clock, which may trail the precise one by a tick.
    const double before = static_cast<double>(std::time(nullptr));
    const double now = SystemDateProvider().now().secondsSince1970;
    EXPECT_GE(now, before - 1);
    EXPECT_LE(now, static_cast<double>(std::time(nullptr)) + 1);
    bool sawFraction = false;
    for (int i = 0; i < 1000 && !sawFraction; ++i) {
        sawFraction = std::fmod(SystemDateProvider().now().secondsSince1970, 1.0) != 0;
    }
    EXPECT_TRUE(sawFraction);

    // /proc/uptime counts time suspended too (generous slack: parallel runs, ASan).
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
