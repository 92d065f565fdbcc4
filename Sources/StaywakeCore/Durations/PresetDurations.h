#pragma once

#include "StaywakeCore/Durations/AwakeDuration.h"

#include <array>
#include <cstddef>
#include <optional>
#include <set>
#include <vector>

namespace staywake {

/// The user's working choice of pinned durations while the settings are open:
/// at most three of six fixed candidates.
struct PresetDurations {
    /// The only durations that can be pinned: 30 minutes, 1, 2, 4, 6 and 8 hours.
    static constexpr std::array<AwakeDuration, 6> candidates{
        AwakeDuration{1800},  AwakeDuration{3600},  AwakeDuration{7200},
        AwakeDuration{14400}, AwakeDuration{21600}, AwakeDuration{28800},
    };
    /// The most durations that can be pinned at once.
    static constexpr std::size_t pinnedCount = 3;

    /// The chosen seconds; only ever candidates.
    std::set<double> chosen;

    /// Starts from `pinned` when it is a valid pinned list, else from the
    /// default presets.
    explicit PresetDurations(const std::vector<AwakeDuration>& pinned);

    /// The list sorted ascending as durations when it holds at most three
    /// values, no value twice and only candidates (compared exactly); absent
    /// otherwise. The empty list is valid: nothing pinned.
    static std::optional<std::vector<AwakeDuration>> validated(const std::vector<double>& seconds);

    /// The validated form of a stored list, or the default presets when the
    /// list is absent or invalid.
    static std::vector<AwakeDuration> pinned(const std::optional<std::vector<double>>& fromSeconds);

    bool isChosen(AwakeDuration duration) const;
    /// A candidate can always be unstarred, and starred while fewer than three
    /// are chosen; anything else can never be toggled.
    bool canToggle(AwakeDuration duration) const;
    /// Stars or unstars `duration`; does nothing when it cannot be toggled.
    void toggle(AwakeDuration duration);

    /// The chosen durations, sorted ascending.
    std::vector<AwakeDuration> pinned() const;

    friend bool operator==(const PresetDurations&, const PresetDurations&) = default;
};

} // namespace staywake
