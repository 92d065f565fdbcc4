#include "StaywakeCore/Clock/SystemContinuousTimeProvider.h"

#include "StaywakeCore/Clock/SystemClockReading.h"

#include <ctime>

namespace staywake {

double SystemContinuousTimeProvider::continuousTime() const { return secondsOnClock(CLOCK_BOOTTIME); }

} // namespace staywake
