#pragma once

#include "StaywakeCore/Clock/UptimeProvider.h"

namespace staywake {

/// Seconds since boot on CLOCK_MONOTONIC, which stands still while the machine
/// is suspended and is not moved when the wall clock is set. Safe from any
/// thread.
class SystemUptimeProvider final : public UptimeProvider {
public:
    double uptime() const override;
};

} // namespace staywake
