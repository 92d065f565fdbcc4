#pragma once

#include "StaywakeCore/Defaults/UserDefaults.h"
#include "StaywakeCore/Durations/PresetDurationStore.h"

namespace staywake {

/// Pinned durations in the app's user defaults under
/// "com.staywake.presetDurations": an array of numbers in seconds, sorted
/// ascending. An empty array means the user pinned nothing; no key means the
/// user never chose.
class UserDefaultsPresetDurationStore final : public PresetDurationStore {
public:
    /// `defaults` must outlive the store.
    explicit UserDefaultsPresetDurationStore(UserDefaults& defaults) : defaults_(defaults) {}

    /// The array under the key, each element read as a double: integers and
    /// reals as themselves, a Boolean as 1 or 0 (which no valid list holds).
    /// Absent when the key holds no array or the array holds anything else.
    std::optional<std::vector<double>> pinnedSeconds() const override;
    /// Writes an array of reals, or removes the key when `seconds` is absent.
    void setPinnedSeconds(std::optional<std::vector<double>> seconds) override;

private:
    static constexpr const char* key = "com.staywake.presetDurations";

    UserDefaults& defaults_;
};

} // namespace staywake
