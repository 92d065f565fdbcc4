#include "Staywake/System/DesktopReduceMotion.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariant>
#include <optional>

namespace staywake {

namespace {

constexpr int portalTimeoutMilliseconds = 250;

// The portal's Read answers a variant that older portals wrap once more.
std::optional<QVariant> readSetting(const QDBusConnection& bus, const QString& group, const QString& key) {
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << group << key;
    const QDBusMessage reply = bus.call(call, QDBus::Block, portalTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    QVariant value = reply.arguments().constFirst();
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    return value;
}

} // namespace

bool DesktopReduceMotion::isOn(const QDBusConnection& sessionBus) {
    const auto animations = readSetting(sessionBus, QStringLiteral("org.gnome.desktop.interface"),
                                        QStringLiteral("enable-animations"));
    if (animations && animations->userType() == QMetaType::Bool && !animations->toBool()) {
        return true;
    }
    const auto factor = readSetting(sessionBus, QStringLiteral("org.kde.kdeglobals.KDE"),
                                    QStringLiteral("AnimationDurationFactor"));
    bool isNumber = false;
    const double speed = factor ? factor->toDouble(&isNumber) : 1.0;
    return isNumber && speed == 0.0;
}

} // namespace staywake
