#include "StaywakeCore/Durations/PresetDurations.h"

#include <algorithm>

namespace staywake {

namespace {

bool isCandidate(double seconds) {
    return std::any_of(PresetDurations::candidates.begin(), PresetDurations::candidates.end(),
                       [seconds](AwakeDuration candidate) { return candidate.seconds == seconds; });
}

} // namespace

PresetDurations::PresetDurations(const std::vector<AwakeDuration>& pinned) {
    const auto valid = validated(AwakeDuration::secondsOf(pinned));
    for (const auto& duration : valid ? *valid : AwakeDuration::presets()) {
        chosen.insert(duration.seconds);
    }
}

std::optional<std::vector<AwakeDuration>> PresetDurations::validated(const std::vector<double>& seconds) {
    if (seconds.size() > pinnedCount) {
        return std::nullopt;
    }
    // Checked before sorting: a not-a-number value would break the ordering.
    if (!std::all_of(seconds.begin(), seconds.end(), isCandidate)) {
        return std::nullopt;
    }
    auto sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        return std::nullopt;
    }
    std::vector<AwakeDuration> durations;
    durations.reserve(sorted.size());
    for (const double value : sorted) {
        durations.push_back(AwakeDuration{value});
    }
    return durations;
}

std::vector<AwakeDuration> PresetDurations::pinned(const std::optional<std::vector<double>>& fromSeconds) {
    if (fromSeconds) {
        if (auto valid = validated(*fromSeconds)) {
            return std::move(*valid);
        }
    }
    return AwakeDuration::presets();
}

bool PresetDurations::isChosen(AwakeDuration duration) const { return chosen.contains(duration.seconds); }

bool PresetDurations::canToggle(AwakeDuration duration) const {
    if (!isCandidate(duration.seconds)) {
        return false;
    }
    return isChosen(duration) || chosen.size() < pinnedCount;
}

void PresetDurations::toggle(AwakeDuration duration) {
    if (!canToggle(duration)) {
        return;
    }
    if (!chosen.erase(duration.seconds)) {
        chosen.insert(duration.seconds);
    }
}

std::vector<AwakeDuration> PresetDurations::pinned() const {
    std::vector<AwakeDuration> durations;
    durations.reserve(chosen.size());
    for (const double seconds : chosen) {
        durations.push_back(AwakeDuration{seconds});
    }
    return durations;
}

} // namespace staywake
