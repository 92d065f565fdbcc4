#include "StaywakeLinux/Clock/SystemClockReading.h"

#include <limits>

namespace staywake {

double secondsOnClock(clockid_t clock) {
    timespec reading{};
    if (clock_gettime(clock, &reading) != 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return static_cast<double>(reading.tv_sec) + static_cast<double>(reading.tv_nsec) / 1e9;
}

} // namespace staywake
