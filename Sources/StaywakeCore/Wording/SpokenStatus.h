#pragma once

#include "StaywakeCore/Durations/AwakeDuration.h"
#include "StaywakeCore/Wording/LocalizableText.h"

#include <optional>
#include <string>

namespace staywake {

/// What a screen reader says about the awake state.
class SpokenStatus {
public:
    enum class Case {
        /// A timed session is on with this many whole minutes left.
        timeLeft,
        off,
        /// On with no deadline.
        on,
        lessThanAMinuteLeft,
    };

    static SpokenStatus timeLeft(AwakeDuration left) { return SpokenStatus(Case::timeLeft, left); }
    static SpokenStatus off() { return SpokenStatus(Case::off, std::nullopt); }
    static SpokenStatus on() { return SpokenStatus(Case::on, std::nullopt); }
    static SpokenStatus lessThanAMinuteLeft() { return SpokenStatus(Case::lessThanAMinuteLeft, std::nullopt); }

    /// Off when not on; on without a remaining time; the remaining time
    /// rounded down to whole minutes when at least a minute is left; less than
    /// a minute otherwise, also for a remaining time that is not a number.
    /// Takes the awake controller's isOn and remaining.
    static SpokenStatus describing(bool isOn, std::optional<double> remaining);

    Case kind() const { return kind_; }
    /// The time left for `timeLeft`; absent for every other case.
    std::optional<AwakeDuration> duration() const { return duration_; }

    /// The accessibility label of the panel's header: "Staywake, on, %1 left"
    /// with the time left in full unit names ("1 hour, 5 minutes") for a timed
    /// session, a fixed sentence otherwise.
    LocalizableText accessibilityLabel(const std::string& locale) const;

    friend bool operator==(const SpokenStatus&, const SpokenStatus&) = default;

private:
    SpokenStatus(Case kind, std::optional<AwakeDuration> duration) : kind_(kind), duration_(duration) {}

    Case kind_;
    std::optional<AwakeDuration> duration_;
};

} // namespace staywake
