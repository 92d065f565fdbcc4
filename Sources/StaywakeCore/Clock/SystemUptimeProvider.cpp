#include "StaywakeCore/Clock/SystemUptimeProvider.h"

#include "StaywakeCore/Clock/SystemClockReading.h"

#include <ctime>

namespace staywake {

double SystemUptimeProvider::uptime() const { return secondsOnClock(CLOCK_MONOTONIC); }

} // namespace staywake
