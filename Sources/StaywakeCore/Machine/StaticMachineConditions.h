#pragma once

#include "StaywakeCore/Machine/MachineConditions.h"

namespace staywake {

/// Conditions that answer whatever they were given: for previews and tests.
class StaticMachineConditions final : public MachineConditions {
public:
    StaticMachineConditions(bool isOnBattery, bool hasExternalDisplay)
        : onBattery_(isOnBattery), externalDisplay_(hasExternalDisplay) {}

    bool isOnBattery() const override { return onBattery_; }
    bool hasExternalDisplay() const override { return externalDisplay_; }

    void setOnBattery(bool value) { onBattery_ = value; }
    void setHasExternalDisplay(bool value) { externalDisplay_ = value; }

private:
    bool onBattery_;
    bool externalDisplay_;
};

} // namespace staywake
