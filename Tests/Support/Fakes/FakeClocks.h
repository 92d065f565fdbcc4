#pragma once

#include "StaywakeCore/Clock/Clocks.h"

namespace staywake::testing {

/// A wall clock that moves only when a test moves it.
class FakeDateProvider final : public DateProvider {
public:
    explicit FakeDateProvider(Date start = Date{1'700'000'000}) : current(start) {}
    Date now() const override { return current; }
    void advance(double seconds) { current = current + seconds; }

    Date current;
};

/// An uptime clock that moves only when a test moves it.
class FakeUptimeProvider final : public UptimeProvider {
public:
    explicit FakeUptimeProvider(double start = 1000) : current(start) {}
    double uptime() const override { return current; }
    void advance(double seconds) { current += seconds; }

    double current;
};

/// A continuous clock that moves only when a test moves it.
class FakeContinuousTimeProvider final : public ContinuousTimeProvider {
public:
    explicit FakeContinuousTimeProvider(double start = 5000) : current(start) {}
    double continuousTime() const override { return current; }
    void advance(double seconds) { current += seconds; }

    double current;
};

} // namespace staywake::testing
