#pragma once

namespace staywake {

/// The machine's power and display situation at one moment.
struct MachineConditionsSnapshot {
    bool isOnBattery = false;
    bool hasExternalDisplay = false;

    /// Closed on battery with no external display, the machine has no clamshell
    /// set-up to shed heat through.
    bool hasNoHeatPath() const { return isOnBattery && !hasExternalDisplay; }

    friend bool operator==(const MachineConditionsSnapshot&, const MachineConditionsSnapshot&) = default;
};

} // namespace staywake
