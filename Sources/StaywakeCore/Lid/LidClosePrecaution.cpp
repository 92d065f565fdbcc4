#include "StaywakeCore/Lid/LidClosePrecaution.h"

namespace staywake {

LidClosePrecaution lidClosePrecautionShown(bool isOn, bool hasAcknowledged,
                                           const MachineConditionsSnapshot& conditions) {
    if (!hasAcknowledged) {
        return LidClosePrecaution::beforeFirstUse;
    }
    if (isOn && conditions.hasNoHeatPath()) {
        return LidClosePrecaution::noHeatPath;
    }
    return LidClosePrecaution::none;
}

} // namespace staywake
