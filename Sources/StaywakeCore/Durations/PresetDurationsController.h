#pragma once

#include "StaywakeCore/Durations/AwakeDuration.h"
#include "StaywakeCore/Durations/PresetDurationStore.h"
#include "StaywakeCore/Support/Published.h"

#include <vector>

namespace staywake {

/// The pinned durations the panel offers, kept in a store. `pinned` is always
/// a valid pinned list: sorted ascending, at most three, no repeats, only
/// candidates, possibly empty. Confined to the main thread.
class PresetDurationsController {
public:
    /// Reads the store once: its list when valid, else the default presets. An
    /// unusable stored value is left as it is until the user pins again.
    /// Writes nothing. `store` must outlive the controller.
    explicit PresetDurationsController(PresetDurationStore& store);

    PresetDurationsController(const PresetDurationsController&) = delete;
    PresetDurationsController& operator=(const PresetDurationsController&) = delete;

    /// The pinned durations; observe it to redraw.
    const Published<std::vector<AwakeDuration>>& pinned() const { return pinned_; }

    /// Stores and publishes `durations` in ascending order when they form a
    /// valid pinned list; an invalid list changes nothing.
    void pin(const std::vector<AwakeDuration>& durations);

private:
    Published<std::vector<AwakeDuration>> pinned_;
    PresetDurationStore& store_;
};

} // namespace staywake
