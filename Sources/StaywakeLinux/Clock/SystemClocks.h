#pragma once

#include "StaywakeCore/Clock/Clocks.h"

#include <ctime>

namespace staywake {

/// Seconds since boot on CLOCK_BOOTTIME, which keeps counting while the machine
/// is suspended and is not moved when the wall clock is set. (CLOCK_MONOTONIC
/// would not do: on Linux it stops during suspend, and a session would outlast
/// its deadline by the time spent asleep.) Safe from any thread.
class SystemContinuousTimeProvider final : public ContinuousTimeProvider {
public:
    double continuousTime() const override;
};

/// The system's wall clock. Safe from any thread.
class SystemDateProvider final : public DateProvider {
public:
    Date now() const override;
};

/// Seconds since boot on CLOCK_MONOTONIC, which stands still while the machine
/// is suspended and is not moved when the wall clock is set. Safe from any
/// thread.
class SystemUptimeProvider final : public UptimeProvider {
public:
    double uptime() const override;
};

/// The reading of a kernel clock in seconds. The clocks read here cannot fail
/// on any kernel the app supports; if one ever did, the reading is
/// not-a-number, which every deadline comparison treats as "not comparable"
/// and so falls back to the wall clock rather than ending or stretching a
/// session on a made-up value.
double secondsOnClock(clockid_t clock);

} // namespace staywake
