#pragma once

#include "StaywakeCore/Clock/Date.h"

namespace staywake {

/// The end of a lease on two clocks; whichever runs out first ends it. The
/// uptime end keeps a wall clock that is set back from stretching the lease.
struct LidLeaseTerm {
    /// On the wall clock.
    Date expiry;
    /// Seconds on the uptime clock.
    double uptimeExpiry = 0;

    friend bool operator==(const LidLeaseTerm&, const LidLeaseTerm&) = default;
};

} // namespace staywake
