#pragma once

#include "StaywakeCore/Machine/MachineConditions.h"

#include <QDBusConnection>
#include <filesystem>

namespace staywake {

/// The live machine: UPower's OnBattery on the system bus (no UPower, or no
/// answer within a second: not on battery) and the DRM connectors under the
/// sysfs root (see DrmDisplayList).
class SystemMachineConditions final : public MachineConditions {
public:
    explicit SystemMachineConditions(QDBusConnection systemBus, std::filesystem::path sysfsRoot = "/sys");

    bool isOnBattery() const override;
    bool hasExternalDisplay() const override;

private:
    QDBusConnection systemBus_;
    std::filesystem::path sysfsRoot_;
};

} // namespace staywake
