#include "StaywakeCore/Machine/MachineConditions.h"

#include <algorithm>

namespace staywake {

MachineConditionsSnapshot MachineConditions::snapshot() const {
    MachineConditionsSnapshot result;
    result.isOnBattery = isOnBattery();
    result.hasExternalDisplay = hasExternalDisplay();
    return result;
}

bool hasExternalDisplay(const std::optional<std::vector<bool>>& onlineDisplaysBuiltIn) {
    if (!onlineDisplaysBuiltIn) {
        return true;
    }
    return std::any_of(onlineDisplaysBuiltIn->begin(), onlineDisplaysBuiltIn->end(),
                       [](bool builtIn) { return !builtIn; });
}

} // namespace staywake
