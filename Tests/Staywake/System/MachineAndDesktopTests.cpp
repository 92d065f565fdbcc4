// What the machine and the desktop say: displays, power, animations, the startup settings.
#include "Staywake/System/DesktopReduceMotion.h"
#include "Staywake/System/DrmDisplayList.h"
#include "Staywake/System/StartupApplicationsSettings.h"
#include "Staywake/System/SystemMachineConditions.h"
#include "Staywake/System/SystemMachineConditionsNotifier.h"
#include "Support/MockBusLauncher.h"
#include "Support/TemporaryDirectory.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const QDBusConnection noBus(QStringLiteral("staywake-test-never-connected"));

TEST(DrmDisplayList, ListsTheConnectedDisplaysInCardOrderAndWhetherEachIsBuiltIn) {
    const std::string on = "connected";
    std::map<std::string, std::string> many; // 32 built-in displays, then a 33rd, external one
    for (int card = 0; card <= 32; ++card) {
        many["card" + std::to_string(card) + (card < 32 ? "-eDP-1" : "-HDMI-A-1")] = on;
    }
    const struct {
        const char* name;
        std::map<std::string, std::string> connectors; // status "?" is a status that cannot be read
        std::optional<std::vector<bool>> builtIn;
        bool hasFolder = true;
    } cases[] = {
        {"built-in and external", {{"card0-eDP-1", on}, {"card0-HDMI-A-1", on}}, {{false, true}}},
        {"only connected ones",
         {{"card0-eDP-1", "disconnected"}, {"card1-DP-2", on}, {"card0-VGA-1", "unknown"}},
         {{false}}},
        {"no connectors at all", {}, std::vector<bool>{}},
        {"every built-in kind",
         {{"card0-eDP-1", on}, {"card0-LVDS-1", on}, {"card1-DSI-1", on}},
         {{true, true, true}}},
        {"card numbers compared as numbers", {{"card10-DP-1", on}, {"card2-eDP-1", on}}, {{true, false}}},
        {"only the 32 first displays count", many, std::vector<bool>(32, true)},
        {"no drm folder", {}, std::nullopt, false},
        {"an unreadable status", {{"card0-eDP-1", on}, {"card0-HDMI-A-1", "?"}}, std::nullopt},
    };
    for (const auto& c : cases) {
        testing::TemporaryDirectory sysfs("staywake-sysfs");
        const fs::path drm = sysfs.path() / "class" / "drm";
        // Entries that are not connectors sit beside them in the real folder.
        fs::create_directories(c.hasFolder ? drm / "card0" : sysfs.path());
        if (c.hasFolder) {
            std::ofstream(drm / "version") << "drm 1.1.0 20060810\n";
        }
        for (const auto& [name, status] : c.connectors) {
            // Root reads anything, so the unreadable status is a folder, not a mode.
            fs::create_directories(status == "?" ? drm / name / "status" : drm / name);
            if (status != "?") {
                std::ofstream(drm / name / "status") << status << "\n";
            }
        }
        EXPECT_EQ(DrmDisplayList::onlineDisplaysBuiltIn(sysfs.path()), c.builtIn) << c.name;
    }
}

TEST(SystemMachineConditions, PowerAndScreenChangesReachOnlyTheLatestHandlerUntilTheNotifierIsGone) {
    testing::MockBuses buses({.logind = false, .upower = true, .portal = false, .onBattery = true});
    STAYWAKE_REQUIRE_BUSES(buses);
    const auto setUPower = [&](const char* name, bool value) {
        buses.control(
            "org.freedesktop.UPower", "/org/freedesktop/UPower",
            {"UpdateProperties", "sa{sv}", "org.freedesktop.UPower", "1", name, "b", value ? "true" : "false"});
    };
    testing::TemporaryDirectory sysfs("staywake-sysfs");
    SystemMachineConditions conditions(buses.systemBus(), sysfs.path());
    EXPECT_TRUE(conditions.isOnBattery());
    EXPECT_TRUE(conditions.hasExternalDisplay()) << "displays that cannot be listed";
    EXPECT_FALSE(SystemMachineConditions(noBus, sysfs.path()).isOnBattery()) << "without UPower";
    std::vector<bool> seen; // on battery, as each call saw it
    {
        SystemMachineConditionsNotifier notifier(buses.systemBus(), *qGuiApp);
        notifier.observe([&] { seen.push_back(false); });
        notifier.observe([&] { seen.push_back(conditions.isOnBattery()); });
        setUPower("OnBattery", false);
        ASSERT_TRUE(testing::waitUntil([&] { return seen.size() == 1; }));
        // Lid and dock news on the same signal are not power changes.
        setUPower("LidIsClosed", true);
        setUPower("OnBattery", true);
        ASSERT_TRUE(testing::waitUntil([&] { return seen.size() >= 2; }));
        testing::runEventsFor(300ms);
        EXPECT_EQ(seen, (std::vector<bool>{false, true}));
        // The offscreen platform cannot plug a monitor in, so the application
        // announces one the way Qt does when it sees it.
        Q_EMIT qGuiApp->screenAdded(QGuiApplication::primaryScreen());
        Q_EMIT qGuiApp->screenRemoved(QGuiApplication::primaryScreen());
        EXPECT_EQ(seen.size(), 4u);
    }
    Q_EMIT qGuiApp->screenAdded(QGuiApplication::primaryScreen());
    setUPower("OnBattery", false);
    testing::runEventsFor(300ms);
    EXPECT_EQ(seen.size(), 4u) << "a notifier that is gone still calls";
}

TEST(DesktopReduceMotion, FollowsTheDesktopsAnimationSettingsAndAnimatesWithoutThem) {
    testing::MockBuses buses({.logind = false, .upower = false});
    STAYWAKE_REQUIRE_BUSES(buses);
    EXPECT_FALSE(DesktopReduceMotion::isOn(buses.sessionBus())) << "a portal without settings";

    // GNOME's and KDE's settings as Python values (None: absent, which the portal answers with NotFound).
    const struct {
        std::string gnomeAnimations;
        std::string kdeFactor;
        bool reduces;
    } cases[] = {
        {"False", "None", true}, {"True", "None", false}, {"None", "0.0", true},
        {"None", "0.5", false},  {"True", "0.0", true},
    };
    for (const auto& each : cases) {
        const std::string code =
            "gnome = " + each.gnomeAnimations + "\nkde = " + each.kdeFactor +
            "\nif list(args) == ['org.gnome.desktop.interface', 'enable-animations'] and gnome is not None:"
            "\n    ret = dbus.Boolean(gnome)"
            "\nelif list(args) == ['org.kde.kdeglobals.KDE', 'AnimationDurationFactor'] and kde is not None:"
            "\n    ret = dbus.Double(kde)"
            "\nelse:"
            "\n    raise dbus.exceptions.DBusException('no such setting', "
            "name='org.freedesktop.portal.Error.NotFound')";
        const auto added = buses.controlMock(
            buses.sessionBus(), "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "AddMethod",
            {"org.freedesktop.portal.Settings", "Read", "ss", "v", QString::fromStdString(code)});
        ASSERT_NE(added.type(), QDBusMessage::ErrorMessage) << added.errorMessage().toStdString();
        EXPECT_EQ(DesktopReduceMotion::isOn(buses.sessionBus()), each.reduces) << code;
    }
}

TEST(StartupApplicationsSettings, OpensKdesAutostartPageElseTheAutostartFolder) {
    testing::TemporaryDirectory root("staywake-startup");
    const QDir folder(QString::fromStdString(root.path().string()));
    const QString bin = folder.filePath(QStringLiteral("bin"));
    const QString record = folder.filePath(QStringLiteral("ran"));
    const QString autostart = folder.filePath(QStringLiteral("config/autostart"));
    QDir().mkpath(bin);
    // Stands in for KDE's System Settings and writes down how it was started.
    QFile program(QDir(bin).filePath(QStringLiteral("systemsettings")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(record).toUtf8());
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const struct {
        QString desktop;
        QString searchPath;
        bool runsSystemSettings;
    } cases[] = {{"KDE", bin, true}, {"ubuntu:GNOME", bin, false}, {"KDE", folder.filePath("empty"), false}};
    for (const auto& each : cases) {
        SCOPED_TRACE((each.desktop + " " + each.searchPath).toStdString());
        std::vector<QUrl> opened;
        StartupApplicationsSettings settings(each.desktop, {each.searchPath}, folder.filePath("config"),
                                             [&](const QUrl& url) {
                                                 opened.push_back(url);
                                                 return true;
                                             });
        EXPECT_TRUE(settings.open());
        if (each.runsSystemSettings) {
            EXPECT_TRUE(opened.empty());
            QFile ran(record);
            ASSERT_TRUE(testing::waitUntil([&] { return ran.size() > 0; }));
            ASSERT_TRUE(ran.open(QIODevice::ReadOnly));
            EXPECT_EQ(ran.readAll().trimmed(), "kcm_autostart");
        } else {
            EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(autostart)});
            EXPECT_TRUE(QDir(autostart).exists());
        }
    }
}

} // namespace
} // namespace staywake
