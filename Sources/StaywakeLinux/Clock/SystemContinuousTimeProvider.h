#pragma once

#include "StaywakeCore/Clock/ContinuousTimeProvider.h"

namespace staywake {

/// Seconds since boot on CLOCK_BOOTTIME, which keeps counting while the machine
/// is suspended and is not moved when the wall clock is set. (CLOCK_MONOTONIC
/// would not do: on Linux it stops during suspend, and a session would outlast
/// its deadline by the time spent asleep.) Safe from any thread.
class SystemContinuousTimeProvider final : public ContinuousTimeProvider {
public:
    double continuousTime() const override;
};

} // namespace staywake
