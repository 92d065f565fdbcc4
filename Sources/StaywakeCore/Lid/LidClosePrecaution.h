#pragma once

#include "StaywakeCore/Machine/MachineConditions.h"

namespace staywake {

/// The warning the panel shows beside Night Brew.
enum class LidClosePrecaution {
    none,
    /// The heat warning has not been acknowledged yet.
    beforeFirstUse,
    /// Night Brew is on while the machine runs on battery with no external
    /// display: closed like that it has no way to shed heat.
    noHeatPath,
};

/// The precaution to show: beforeFirstUse until the warning is acknowledged;
/// then noHeatPath while Night Brew is on without a heat path; else none.
LidClosePrecaution lidClosePrecautionShown(bool isOn, bool hasAcknowledged,
                                           const MachineConditionsSnapshot& conditions);

} // namespace staywake
