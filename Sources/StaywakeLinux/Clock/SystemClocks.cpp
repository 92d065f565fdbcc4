#include "StaywakeLinux/Clock/SystemClocks.h"

#include <chrono>
#include <ctime>
#include <limits>

namespace staywake {

double secondsOnClock(clockid_t clock) {
    timespec reading{};
    if (clock_gettime(clock, &reading) != 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return static_cast<double>(reading.tv_sec) + static_cast<double>(reading.tv_nsec) / 1e9;
}

double SystemUptimeProvider::uptime() const { return secondsOnClock(CLOCK_MONOTONIC); }

Date SystemDateProvider::now() const {
    // system_clock counts from 1970-01-01 00:00:00 UTC (guaranteed since C++20).
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return Date{std::chrono::duration<double>(sinceEpoch).count()};
}

double SystemContinuousTimeProvider::continuousTime() const { return secondsOnClock(CLOCK_BOOTTIME); }

} // namespace staywake
