#pragma once

#include "StaywakeCore/Machine/MachineConditions.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <filesystem>
#include <optional>

namespace staywake {

/// The live machine: UPower's OnBattery on the system bus (no UPower, or no
/// answer within a second: not on battery) and the DRM connectors under the
/// sysfs root (see DrmDisplayList).
///
/// UPower is asked once when the reader is made, and the first read takes
/// that answer: the round trip then overlaps the rest of the app's start
/// instead of adding to it. Every later read asks again.
class SystemMachineConditions final : public MachineConditions {
public:
    explicit SystemMachineConditions(QDBusConnection systemBus, std::filesystem::path sysfsRoot = "/sys");

    bool isOnBattery() const override;
    bool hasExternalDisplay() const override;

private:
    std::optional<QDBusPendingCall> askUpower() const;

    QDBusConnection systemBus_;
    std::filesystem::path sysfsRoot_;
    mutable std::optional<QDBusPendingCall> firstAnswer_;
};

} // namespace staywake
