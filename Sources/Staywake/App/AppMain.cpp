#include "Staywake/App/AppMain.h"

#include "Staywake/App/AppLocalization.h"
#include "Staywake/App/AppLog.h"
#include "Staywake/App/ApplicationIcon.h"
#include "Staywake/App/LinuxMechanisms.h"
#include "Staywake/App/SignalIntake.h"
#include "Staywake/App/SingleInstance.h"
#include "Staywake/App/StaywakeShell.h"
#include "Staywake/Control/AppControl.h"
#include "Staywake/Control/SessionNotices.h"
#include "Staywake/Lid/SystemdLidHelperRegistration.h"
#include "Staywake/System/DesktopReduceMotion.h"
#include "Staywake/System/InhibitSleepBlocker.h"
#include "Staywake/System/StartupApplicationsSettings.h"
#include "Staywake/Translations/AppTranslations.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"
#include "StaywakeLinux/Identity/ProcessExecutable.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QLocale>
#include <QSessionManager>
#include <QSystemTrayIcon>

#include <unicode/locid.h>

#include <cstdio>
#include <exception>
#include <filesystem>

namespace staywake {

namespace {

std::filesystem::path runningProgram() {
    if (const auto path = ProcessExecutable::path()) {
        return *path;
    }
    return QCoreApplication::applicationFilePath().toStdString();
}

/// The settings file, or, for a user without a home folder, settings that
/// last only this run (and a problem that says so).
std::shared_ptr<UserDefaults> openDefaults(std::shared_ptr<PlistFileUserDefaults>& file,
                                           std::optional<QString>& problem) {
    if (const auto folder = PlistFileUserDefaults::standardDirectory()) {
        file = std::make_shared<PlistFileUserDefaults>(*folder);
        return file;
    }
    problem = QStringLiteral("Staywake found no home folder; settings are kept only until it quits.");
    return std::make_shared<InMemoryUserDefaults>();
}

int run(QApplication& application) {
    AppTranslations translations(AppTranslations::bundleFolder());
    const auto localization =
        AppLocalization::resolve(QLocale::system().uiLanguages(), translations.languages(),
                                 [] { return std::string(icu::Locale::getDefault().getName()); });
    translations.install(localization.language);
    QGuiApplication::setLayoutDirection(localization.direction);

    const QDBusConnection sessionBus = QDBusConnection::sessionBus();
    const QDBusConnection systemBus = QDBusConnection::systemBus();
    SingleInstance instance(sessionBus);
    auto* control = new AppControl(instance, sessionBus);
    const auto claim = instance.claim();
    if (claim != SingleInstance::Claim::owned) {
        qCInfo(appLog).noquote() << SingleInstance::describe(claim);
    }
    if (claim == SingleInstance::Claim::activatedOther) {
        return 0;
    }
    if (claim == SingleInstance::Claim::otherUnresponsive) {
        return 1;
    }

    std::shared_ptr<PlistFileUserDefaults> settingsFile;
    std::optional<QString> defaultsProblem;
    auto defaults = openDefaults(settingsFile, defaultsProblem);

    const std::filesystem::path program = runningProgram();
    const LinuxSystem system{
        application, sessionBus,
        systemBus,   program.parent_path().parent_path().parent_path(),
        program,     QCoreApplication::translate("Localizable", "Staywake is keeping this Mac awake")};
    // The stored session, if any, takes the idle lock in here, before any
    // window exists.
    const auto mechanisms = linuxMechanisms(defaults, system);
    auto controllers = StaywakeApp::live(mechanisms);
    control->attach(controllers, mechanisms.dates, localization.locale,
                    [sessionBus, systemBus](const QString& reason) -> std::unique_ptr<SleepBlocker> {
                        return std::make_unique<InhibitSleepBlocker>(sessionBus, systemBus, reason);
                    });

    auto registration = std::make_shared<SystemdLidHelperRegistration>(systemBus);
    StaywakeShell::Options options;
    options.localization = localization;
    options.trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    options.sessionBus = sessionBus;
    options.reduceMotion = [sessionBus] { return DesktopReduceMotion::isOn(sessionBus); };
    options.openLoginItems = [] {
        if (!StartupApplicationsSettings::forThisSession().open()) {
            qCWarning(appLog) << "found nothing to open the startup applications with";
        }
    };
    options.approveHelper = [registration](std::function<void()> finished) {
        registration->approve([finished = std::move(finished)](const std::optional<std::string>& error) {
            if (error) {
                qCWarning(appLog).noquote()
                    << "the lid helper was not approved:" << QString::fromStdString(*error);
            }
            finished();
        });
    };
    options.update = StaywakeShell::Options::Update{SoftwareUpdate::Configuration::fromBundle(program), defaults,
                                                    mechanisms.dates};
    StaywakeShell shell(controllers, options);
    QObject::connect(&instance, &SingleInstance::activated, &shell, &StaywakeShell::showPanel);
    QObject::connect(control, &AppControl::holdersChanged, &shell,
                     [&shell](const QStringList& holders) { shell.setHolders(holders); });

    if (defaultsProblem) {
        shell.tellProblem(*defaultsProblem);
    }
    if (settingsFile) {
        settingsFile->setProblemHandler(
            [&shell](const std::string& problem) { shell.tellProblem(QString::fromStdString(problem)); });
    }
    // Termination signals and the session manager's logout are system quits:
    // no question, but the lid helper's last answer is still awaited.
    SignalIntake signalIntake;
    QObject::connect(&signalIntake, &SignalIntake::received, &shell, &StaywakeShell::quitAtSystemsRequest);
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &shell,
                     [&shell](QSessionManager&) { shell.quitAtSystemsRequest(); });
    shell.start();
    // Nothing these notices follow can happen before the event loop runs, so
    // they are set up once the icon is on its way.
    SessionNotices notices(sessionBus, controllers.awake, mechanisms.dates, mechanisms.scheduler(), defaults);
    return QApplication::exec();
}

} // namespace

int runStaywake(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Staywake"));
    QApplication::setOrganizationName(QStringLiteral("Staywake"));
    QApplication::setOrganizationDomain(QStringLiteral("staywake.com"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.staywake.app"));
    ApplicationIcon::setOnFirstWindow(application,
                                      [] { return QIcon::fromTheme(QStringLiteral("com.staywake.app")); });
    QApplication::setQuitOnLastWindowClosed(false);
    try {
        return run(application);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Staywake could not start: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "Staywake could not start.\n");
    }
    return 1;
}

} // namespace staywake
