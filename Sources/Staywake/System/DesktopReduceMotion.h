#pragma once

#include <QDBusConnection>

namespace staywake {

/// Whether the desktop asks applications to reduce motion, read once through
/// the desktop portal's settings on the session bus.
class DesktopReduceMotion {
public:
    DesktopReduceMotion() = delete;

    /// True when GNOME's "enable-animations" is off or KDE's animation speed
    /// factor is 0. Without a portal, or with neither setting, false: the app
    /// animates. Waits at most a quarter of a second per setting, so a hung
    /// portal does not hold up the app's start.
    static bool isOn(const QDBusConnection& sessionBus);
};

} // namespace staywake
