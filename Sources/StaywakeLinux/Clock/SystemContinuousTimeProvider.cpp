#include "StaywakeLinux/Clock/SystemContinuousTimeProvider.h"

#include "StaywakeLinux/Clock/SystemClockReading.h"

#include <ctime>

namespace staywake {

double SystemContinuousTimeProvider::continuousTime() const { return secondsOnClock(CLOCK_BOOTTIME); }

} // namespace staywake
