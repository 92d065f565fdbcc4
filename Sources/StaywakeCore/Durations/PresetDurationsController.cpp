#include "StaywakeCore/Durations/PresetDurationsController.h"

#include "StaywakeCore/Durations/PresetDurations.h"

namespace staywake {

PresetDurationsController::PresetDurationsController(PresetDurationStore& store)
    : pinned_(PresetDurations::pinned(store.pinnedSeconds())), store_(store) {}

void PresetDurationsController::pin(const std::vector<AwakeDuration>& durations) {
    auto valid = PresetDurations::validated(AwakeDuration::secondsOf(durations));
    if (!valid) {
        return;
    }
    store_.setPinnedSeconds(AwakeDuration::secondsOf(*valid));
    pinned_.set(std::move(*valid));
}

} // namespace staywake
