#pragma once

#include "StaywakeCore/Clock/Date.h"

#include <cstddef>
#include <functional>
#include <optional>

namespace staywake {

/// Which controls the panel shows under the awake switch.
class AwakeSessionControls {
public:
    enum Case {
        /// The pinned preset durations.
        presets,
        /// A control that ends the running timer and keeps the session.
        cancelTimer,
    };

    constexpr AwakeSessionControls(Case value) : value_(value) {}

    /// The timer control while a session with a deadline is on; the presets
    /// otherwise. Takes the awake controller's isOn and activeUntil.
    static AwakeSessionControls shown(bool isOn, std::optional<Date> activeUntil) {
        return isOn && activeUntil ? cancelTimer : presets;
    }

    constexpr Case value() const { return value_; }

    friend constexpr bool operator==(AwakeSessionControls, AwakeSessionControls) = default;

private:
    Case value_;
};

} // namespace staywake

template <> struct std::hash<staywake::AwakeSessionControls> {
    std::size_t operator()(staywake::AwakeSessionControls controls) const noexcept {
        return std::hash<int>{}(controls.value());
    }
};
