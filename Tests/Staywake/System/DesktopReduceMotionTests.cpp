#include "MockBuses.h"
#include "Staywake/System/DesktopReduceMotion.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace staywake {
namespace {

using testing::MockBuses;

// Gives the mocked portal a Settings.Read that knows the two animation
// settings (absent ones answer as the real portal does: NotFound).
QDBusMessage offerSettings(const MockBuses& buses, std::optional<bool> gnomeAnimations,
                           std::optional<double> kdeFactor) {
    const auto python = [](auto value) -> std::string {
        if (!value) {
            return "None";
        }
        if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, bool>) {
            return *value ? "True" : "False";
        } else {
            return std::to_string(*value);
        }
    };
    const std::string code = "gnome = " + python(gnomeAnimations) + "\nkde = " + python(kdeFactor) +
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
        std::optional<bool> gnomeAnimations;
        std::optional<double> kdeFactor;
        bool reduces;
    } cases[] = {
        {false, std::nullopt, true}, {true, std::nullopt, false}, {std::nullopt, 0.0, true},
        {std::nullopt, 0.5, false},  {true, 0.0, true},           {std::nullopt, std::nullopt, false},
    };
    for (const auto& each : cases) {
        const auto added = offerSettings(buses, each.gnomeAnimations, each.kdeFactor);
        ASSERT_NE(added.type(), QDBusMessage::ErrorMessage) << added.errorMessage().toStdString();
        EXPECT_EQ(DesktopReduceMotion::isOn(buses.sessionBus()), each.reduces)
            << "gnome " << each.gnomeAnimations.value_or(-1) << ", kde " << each.kdeFactor.value_or(-1);
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
