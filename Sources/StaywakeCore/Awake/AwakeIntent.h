#pragma once

#include "StaywakeCore/Clock/Date.h"

#include <optional>

namespace staywake {

/// What the user asked for: stay awake until a date, stay awake with no
/// deadline, or no session. Compared exactly (dates included).
class AwakeIntent {
public:
    enum class Kind { until, off, indefinite };

    static AwakeIntent until(Date date) { return AwakeIntent(Kind::until, date); }
    static AwakeIntent off() { return AwakeIntent(Kind::off, std::nullopt); }
    static AwakeIntent indefinite() { return AwakeIntent(Kind::indefinite, std::nullopt); }

    Kind kind() const { return kind_; }
    /// The deadline of `until`; absent for the other cases.
    std::optional<Date> date() const { return date_; }

    /// A date can serve as a deadline when its seconds since 1970 are finite,
    /// greater than 0 and not past Date::distantFuture().
    static bool isUsable(Date date);
    /// `start` + `duration` when the duration is finite and greater than 0 and
    /// the result is usable; absent otherwise.
    static std::optional<Date> deadline(double duration, Date start);

    friend bool operator==(const AwakeIntent&, const AwakeIntent&) = default;

private:
    AwakeIntent(Kind kind, std::optional<Date> date) : kind_(kind), date_(date) {}

    Kind kind_;
    std::optional<Date> date_;
};

} // namespace staywake
