#pragma once

#include "StaywakeCore/Clock/Date.h"
#include "StaywakeCore/Wording/LocalizableText.h"

#include <cstddef>
#include <functional>
#include <optional>

namespace staywake {

/// The sentence under the panel's header that says what the machine will do.
class AwakeExplanation {
public:
    enum Case {
        sleepsNormally,
        awakeIndefinitely,
        awakeUntilSessionEnds,
        awakeWithLidClosedIndefinitely,
        awakeWithLidClosedUntilSessionEnds,
    };

    constexpr AwakeExplanation(Case value) : value_(value) {}

    /// Sleeps normally when off; otherwise awake, with the lid closed too while
    /// Night Brew is on, indefinitely or until the session ends depending on
    /// whether there is a deadline. Takes the awake controller's isOn and
    /// activeUntil and the lid controller's isOn.
    static AwakeExplanation describing(bool isOn, std::optional<Date> activeUntil, bool keepsLidClosedAwake);

    constexpr Case value() const { return value_; }

    /// True when the machine is kept awake but closing the lid still puts it
    /// to sleep.
    bool promisesLidCloseSleep() const;

    /// The sentence, from the Night Brew table for the lid-closed cases.
    LocalizableText sentence() const;

    friend constexpr bool operator==(AwakeExplanation, AwakeExplanation) = default;

private:
    Case value_;
};

} // namespace staywake

template <> struct std::hash<staywake::AwakeExplanation> {
    std::size_t operator()(staywake::AwakeExplanation explanation) const noexcept {
        return std::hash<int>{}(explanation.value());
    }
};
