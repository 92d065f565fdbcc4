#include "MockBuses.h"
#include "Staywake/System/DesktopReduceMotion.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>
#include <string>

namespace staywake {
namespace {

using testing::MockBuses;

// Gives the mocked portal a Settings.Read that knows the two animation
// settings (absent ones answer as the real portal does: NotFound).
// `gnome` and `kde` are Python values ("None" for an absent setting).
QDBusMessage offerSettings(const MockBuses& buses, const std::string& gnome, const std::string& kde) {
    const std::string code = "gnome = " + gnome + "\nkde = " + kde +
                             "\nif args[0] == 'org.gnome.desktop.interface' and args[1] == "
                             "'enable-animations' and gnome is not None:"
                             "\n    ret = dbus.Boolean(gnome)"
                             "\nelif args[0] == 'org.kde.kdeglobals.KDE' and args[1] == "
                             "'AnimationDurationFactor' and kde is not None:"
                             "\n    ret = dbus.Double(kde)"
                             "\nelse:"
                             "\n    raise dbus.exceptions.DBusException('no such setting', "
                             "name='org.freedesktop.portal.Error.NotFound')";
    return buses.controlMock(buses.sessionBus(), QStringLiteral("org.freedesktop.portal.Desktop"),
                             QStringLiteral("/org/freedesktop/portal/desktop"), QStringLiteral("AddMethod"),
                             {QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"),
                              QStringLiteral("ss"), QStringLiteral("v"), QString::fromStdString(code)});
}

TEST(DesktopReduceMotion, FollowsTheDesktopsAnimationSettings) {
    MockBuses buses;
    if (buses.isMissingATool()) {
        STAYWAKE_SKIP(buses.failure().toStdString());
    }
    ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
    EXPECT_FALSE(DesktopReduceMotion::isOn(buses.sessionBus())) << "a portal without settings";

    const struct {
        std::string gnomeAnimations;
        std::string kdeFactor;
        bool reduces;
    } cases[] = {
        {"False", "None", true}, {"True", "None", false}, {"None", "0.0", true},
        {"None", "0.5", false},  {"True", "0.0", true},   {"None", "None", false},
    };
    for (const auto& each : cases) {
        const auto added = offerSettings(buses, each.gnomeAnimations, each.kdeFactor);
        ASSERT_NE(added.type(), QDBusMessage::ErrorMessage) << added.errorMessage().toStdString();
        EXPECT_EQ(DesktopReduceMotion::isOn(buses.sessionBus()), each.reduces)
            << "gnome " << each.gnomeAnimations << ", kde " << each.kdeFactor;
    }
}

TEST(DesktopReduceMotion, AnimatesWithoutAPortalOrABus) {
    MockBuses buses(MockBuses::Options{true, true, false, false});
    if (buses.isMissingATool()) {
        STAYWAKE_SKIP(buses.failure().toStdString());
    }
    ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
    EXPECT_FALSE(DesktopReduceMotion::isOn(buses.sessionBus()));
    EXPECT_FALSE(DesktopReduceMotion::isOn(QDBusConnection(QStringLiteral("not connected"))));
}

} // namespace
} // namespace staywake
