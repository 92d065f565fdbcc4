#pragma once

#include "StaywakeCore/Clock/Clocks.h"

namespace staywake::testing {

// Clocks that move only when a test moves them.

class FakeDateProvider final : public DateProvider {
public:
    explicit FakeDateProvider(Date start = Date{1'700'000'000}) : current(start) {}
    Date now() const override { return current; }
    void advance(double seconds) { current = current + seconds; }

    Date current;
};

class FakeUptimeProvider final : public UptimeProvider {
public:
    explicit FakeUptimeProvider(double start = 1000) : current(start) {}
    double uptime() const override { return current; }
    void advance(double seconds) { current += seconds; }

    double current;
};

class FakeContinuousTimeProvider final : public ContinuousTimeProvider {
public:
    explicit FakeContinuousTimeProvider(double start = 5000) : current(start) {}
    double continuousTime() const override { return current; }
    void advance(double seconds) { current += seconds; }

    double current;
};

} // namespace staywake::testing
