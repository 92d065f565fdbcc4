#pragma once

#include <optional>
#include <vector>

namespace staywake {

/// Where the user's pinned durations are kept between launches. Used from the
/// main thread only.
class PresetDurationStore {
public:
    virtual ~PresetDurationStore() = default;

    /// The stored seconds as they are, unvalidated; absent when nothing usable
    /// is stored.
    virtual std::optional<std::vector<double>> pinnedSeconds() const = 0;
    /// Stores `seconds`; absent removes whatever is stored.
    virtual void setPinnedSeconds(std::optional<std::vector<double>> seconds) = 0;
};

} // namespace staywake
