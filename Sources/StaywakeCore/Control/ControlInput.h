#pragma once

#include <optional>
#include <string_view>

namespace staywake {

/// What a script may ask of the app, checked the same way by the
/// command-line client and by the app's bus interface.
class ControlInput {
public:
    ControlInput() = delete;

    /// Longer than this is taken for a typing mistake, not a session.
    static constexpr double longestSession = 30.0 * 24 * 60 * 60;

    /// A wall-clock time of day, 00:00 to 23:59.
    struct ClockTime {
        int hour = 0;
        int minute = 0;
    };

    /// A session length such as "1h30m", "45m", "90s" or "2h": whole numbers,
    /// each followed by h, m or s, each unit at most once and in that order.
    /// Absent for anything else, for a total of 0 and for one above
    /// longestSession.
    static std::optional<double> duration(std::string_view text);

    /// "17:30" or "7:05"; absent for anything else.
    static std::optional<ClockTime> clockTime(std::string_view text);

    /// Whole days from today to the next time the clock shows `target`, seen
    /// at hour:minute:second: 0 when it is still ahead today, 1 when it has
    /// passed or is now (a session of no length is not what anyone asks for).
    static int daysUntil(ClockTime target, int hour, int minute, int second);

    /// A length the app accepts from a script: finite, above 0, at most
    /// longestSession.
    static bool isSessionLength(double seconds);
};

} // namespace staywake
