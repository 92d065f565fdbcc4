#include "ZorIdiDurirad/SystemUptime.h"

#include <time.h>

namespace staywake {

double systemUptime() {
    timespec now{};
    // CLOCK_MONOTONIC cannot fail on Linux for a valid timespec.
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace staywake
