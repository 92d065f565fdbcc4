#pragma once

#include "StaywakeCore/Clock/Date.h"

#include <optional>

namespace staywake {

/// When the user hears that a timed session is about to end.
class SessionEndNotice {
public:
    SessionEndNotice() = delete;

    /// How long before the end the warning comes.
    static constexpr double warningLead = 5 * 60;
    /// A shorter session is over too soon for a warning to help.
    static constexpr double shortestWarned = 15 * 60;

    /// The warning's time for a session set at `start` to end at `end`; absent
    /// for a session shorter than shortestWarned.
    static std::optional<Date> warningAt(Date start, Date end);
};

} // namespace staywake
