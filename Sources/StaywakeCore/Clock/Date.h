#pragma once

#include <compare>

namespace staywake {

/// A wall-clock instant: seconds since 1970-01-01 00:00:00 UTC. Dates cross the
/// process boundary and are stored in this form.
struct Date {
    double secondsSince1970 = 0;

    /// The first instant of the year 4001 UTC, the latest date a deadline may
    /// name.
    static constexpr Date distantFuture() { return Date{64092211200.0}; }

    friend constexpr bool operator==(Date, Date) = default;
    friend constexpr std::partial_ordering operator<=>(Date a, Date b) {
        return a.secondsSince1970 <=> b.secondsSince1970;
    }

    constexpr Date operator+(double seconds) const { return Date{secondsSince1970 + seconds}; }
    constexpr Date operator-(double seconds) const { return Date{secondsSince1970 - seconds}; }
    /// Seconds from `other` to this date.
    constexpr double operator-(Date other) const { return secondsSince1970 - other.secondsSince1970; }
};

} // namespace staywake
