#pragma once

#include "StaywakeCore/Clock/Date.h"

namespace staywake {

/// Seconds from an arbitrary origin that keep advancing while the machine
/// sleeps and are not moved when the wall clock is set.
class ContinuousTimeProvider {
public:
    virtual ~ContinuousTimeProvider() = default;
    virtual double continuousTime() const = 0;
};

/// Seconds since boot that do not advance while the machine sleeps.
class UptimeProvider {
public:
    virtual ~UptimeProvider() = default;
    virtual double uptime() const = 0;
};

/// The wall clock.
class DateProvider {
public:
    virtual ~DateProvider() = default;
    virtual Date now() const = 0;
};

} // namespace staywake
