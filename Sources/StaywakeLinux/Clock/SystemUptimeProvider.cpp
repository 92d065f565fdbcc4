#include "StaywakeLinux/Clock/SystemUptimeProvider.h"

#include "StaywakeLinux/Clock/SystemClockReading.h"

#include <ctime>

namespace staywake {

double SystemUptimeProvider::uptime() const { return secondsOnClock(CLOCK_MONOTONIC); }

} // namespace staywake
