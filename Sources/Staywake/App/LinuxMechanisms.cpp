#include "Staywake/App/LinuxMechanisms.h"

#include "Staywake/App/AppLog.h"
#include "Staywake/Lid/SystemdLidHelperRegistration.h"
#include "Staywake/System/InhibitSleepBlocker.h"
#include "Staywake/System/QtMainRunLoop.h"
#include "Staywake/System/SystemDeadlineRecheckNotifier.h"
#include "Staywake/System/SystemMachineConditions.h"
#include "Staywake/System/SystemMachineConditionsNotifier.h"
#include "Staywake/System/TimerDeadlineScheduler.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeCore/LidHelper/LidSleepLease.h"
#include "StaywakeLinux/Clock/SystemClocks.h"
#include "StaywakeLinux/Identity/CodeSigningIdentity.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Lid/SocketLidSleepBlocker.h"
#include "StaywakeLinux/LoginItem/XdgAutostartLoginItem.h"
#include "ZorIdiDurirad/FileHashCommand.h"

#include <QGuiApplication>

namespace staywake {

StaywakeApp::Mechanisms linuxMechanisms(std::shared_ptr<UserDefaults> defaults, const LinuxSystem& system) {
    auto dates = std::make_shared<SystemDateProvider>();
    QGuiApplication* application = &system.application;
    const QDBusConnection sessionBus = system.sessionBus;
    const QDBusConnection systemBus = system.systemBus;
    const std::string helperProgram = (system.bundle / LidHelperService::bundleProgram).string();

    StaywakeApp::Mechanisms mechanisms;
    mechanisms.defaults = std::move(defaults);
    mechanisms.dates = dates;
    mechanisms.continuous = std::make_shared<SystemContinuousTimeProvider>();
    mechanisms.sleepBlocker = [sessionBus, systemBus, reason = system.sleepReason] {
        return std::make_shared<InhibitSleepBlocker>(sessionBus, systemBus, reason);
    };
    mechanisms.scheduler = [dates] { return std::make_shared<TimerDeadlineScheduler>(dates); };
    mechanisms.recheckNotifier = [systemBus] {
        return std::make_shared<SystemDeadlineRecheckNotifier>(systemBus);
    };
    mechanisms.lidHelperRegistration = [systemBus] {
        return std::make_shared<SystemdLidHelperRegistration>(systemBus);
    };
    mechanisms.teamIdentifier = [] { return CodeSigningIdentity::currentTeamIdentifier(); };
    mechanisms.lidSleepBlocker = [application, helperProgram](std::shared_ptr<LidHelperRegistration> registration,
                                                              std::optional<std::string> requirement) {
        SocketLidSleepBlocker::Helper helper;
        helper.programPath = helperProgram;
        // The helper's file is hashed by the bundle's hasher, so that the app
        // never loads libcrypto for it.
        const FileHashCommand hashes(
            FileHashCommand::pathBeside(helperProgram), nullptr,
            [](const std::string& line) { qCWarning(appLog).noquote() << QString::fromStdString(line); });
        helper.inspector = std::make_shared<const ElfNoteCodeSigning>(TrustAnchor{}, hashes.hasher());
        return std::make_shared<SocketLidSleepBlocker>(std::move(registration), std::move(requirement),
                                                       LidSleepLease::replyTimeout,
                                                       std::make_shared<QtMainRunLoop>(*application), helper);
    };
    mechanisms.conditionsNotifier = [systemBus, application] {
        return std::make_shared<SystemMachineConditionsNotifier>(systemBus, *application);
    };
    // Made here, before any controller, so that UPower's first answer is on
    // its way while a stored session takes its lock.
    mechanisms.conditions = [conditions = std::make_shared<SystemMachineConditions>(systemBus)] {
        return conditions;
    };
    mechanisms.loginItem = [executable = system.executable] {
        return std::make_shared<XdgAutostartLoginItem>(XdgAutostartLoginItem::forCurrentUser(executable));
    };
    return mechanisms;
}

} // namespace staywake
