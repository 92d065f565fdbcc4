#include "Staywake/System/DesktopReduceMotion.h"
#include "Support/MockBusLauncher.h"

#include <string>

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

} // namespace
} // namespace staywake
