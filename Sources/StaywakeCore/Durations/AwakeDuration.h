#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace staywake {

/// The length of an awake session, in seconds.
///
/// Every text that shows a length of time rounds it down: labels and the
/// spoken time left to whole minutes (roundedDownToWholeMinutes), the
/// countdown to whole seconds. Rounding down never promises more time than is
/// left, and the texts agree with each other: while the countdown shows 59:59
/// the label says 59 minutes, never 1 hour.
struct AwakeDuration {
    double seconds = 0;

    /// The identity the interface lists durations by.
    constexpr double id() const { return seconds; }

    /// The default pinned list: 30 minutes, 1 hour, 2 hours.
    static std::vector<AwakeDuration> presets();
    /// The session length Night Brew starts when no session is running.
    static constexpr AwakeDuration lidClosedDefault() { return AwakeDuration{7200}; }

    /// The seconds of each duration, in order.
    static std::vector<double> secondsOf(const std::vector<AwakeDuration>& durations);

    /// Whole minutes, rounded down; a negative or not-a-number length is 0.
    AwakeDuration roundedDownToWholeMinutes() const;

    /// The abbreviated hours-and-minutes text ("30 min", "1 hr", "1 hr, 30 min"
    /// in English; "1 Std., 30 Min." in German), in the locale named by an ICU
    /// locale identifier or BCP 47 tag. Zero-valued units are left out, except
    /// that a length under a minute reads as 0 minutes.
    std::string label(const std::string& locale) const;

    /// The same with full unit names ("1 hour, 30 minutes"), for texts that are
    /// spoken.
    std::string fullLabel(const std::string& locale) const;

    friend constexpr bool operator==(AwakeDuration, AwakeDuration) = default;
};

} // namespace staywake

template <> struct std::hash<staywake::AwakeDuration> {
    std::size_t operator()(staywake::AwakeDuration duration) const noexcept {
        // 0 and -0 are equal, so they must hash alike.
        return duration.seconds == 0 ? 0 : std::hash<double>{}(duration.seconds);
    }
};
