#pragma once

#include "StaywakeCore/Durations/PresetDurationStore.h"

namespace staywake {

/// Pinned durations kept only as long as the object: for tests and previews.
class InMemoryPresetDurationStore final : public PresetDurationStore {
public:
    explicit InMemoryPresetDurationStore(std::optional<std::vector<double>> pinnedSeconds = std::nullopt)
        : pinnedSeconds_(std::move(pinnedSeconds)) {}

    std::optional<std::vector<double>> pinnedSeconds() const override { return pinnedSeconds_; }
    void setPinnedSeconds(std::optional<std::vector<double>> seconds) override {
        pinnedSeconds_ = std::move(seconds);
    }

private:
    std::optional<std::vector<double>> pinnedSeconds_;
};

} // namespace staywake
