#include "Staywake/System/DesktopReduceMotion.h"
#include "Staywake/System/StartupApplicationsSettings.h"
#include "Support/MockBusLauncher.h"
#include "Support/TemporaryDirectory.h"

#include <QDir>
#include <QFile>
#include <string>
#include <vector>

namespace staywake {
namespace {

TEST(DesktopReduceMotion, FollowsTheDesktopsAnimationSettingsAndAnimatesWithoutThem) {
    testing::MockBuses buses({.logind = false, .upower = false});
    STAYWAKE_REQUIRE_BUSES(buses);
    EXPECT_FALSE(DesktopReduceMotion::isOn(buses.sessionBus())) << "a portal without settings";
    EXPECT_FALSE(DesktopReduceMotion::isOn(QDBusConnection(QStringLiteral("not connected"))));

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
