#pragma once

#include "StaywakeCore/Machine/MachineConditionsSnapshot.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace staywake {

/// Whether the machine runs on battery and whether an external display is
/// attached. Read on the main thread; failures of the underlying system degrade
/// to answers (never on battery, an external display assumed) so that nothing
/// here throws.
class MachineConditions {
public:
    virtual ~MachineConditions() = default;

    virtual bool isOnBattery() const = 0;
    virtual bool hasExternalDisplay() const = 0;

    /// Reads isOnBattery, then hasExternalDisplay.
    MachineConditionsSnapshot snapshot() const;
};

/// At most this many online displays are looked at.
inline constexpr std::size_t maximumConsideredDisplays = 32;

/// One entry per online display, true when it is built in. An absent list (the
/// displays could not be listed) assumes an external display, which never
/// raises the heat precaution; an empty list has none.
bool hasExternalDisplay(const std::optional<std::vector<bool>>& onlineDisplaysBuiltIn);

} // namespace staywake
