#pragma once

#include "Staywake/App/StaywakeApp.h"

#include <QDBusConnection>
#include <QString>

#include <filesystem>

class QGuiApplication;

namespace staywake {

/// What the Linux mechanisms are built on. The buses come from the
/// environment (DBUS_SESSION_BUS_ADDRESS, DBUS_SYSTEM_BUS_ADDRESS), so a test
/// can point the whole app at private ones.
struct LinuxSystem {
    QGuiApplication& application;
    QDBusConnection sessionBus;
    QDBusConnection systemBus;
    /// The Staywake.app folder the running program lies in.
    std::filesystem::path bundle;
    /// The app's program file, as the autostart entry names it.
    std::filesystem::path executable;
    /// Why sleep is held off, as the desktop and logind show it.
    QString sleepReason;
};

/// The mechanisms of a Linux desktop: logind and portal inhibitions, Qt
/// timers, the clock-set and resume watch, systemd's registration of the lid
/// helper and its lease socket, UPower and the screens, XDG autostart.
StaywakeApp::Mechanisms linuxMechanisms(std::shared_ptr<UserDefaults> defaults, const LinuxSystem& system);

} // namespace staywake
