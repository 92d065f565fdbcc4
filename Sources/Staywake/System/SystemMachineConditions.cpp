#include "Staywake/System/SystemMachineConditions.h"

#include "Staywake/System/DrmDisplayList.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <utility>

namespace staywake {

namespace {

// The panel reads this while it draws: a hung UPower must not freeze it.
constexpr int upowerTimeoutMilliseconds = 1000;

} // namespace

SystemMachineConditions::SystemMachineConditions(QDBusConnection systemBus, std::filesystem::path sysfsRoot)
    : systemBus_(std::move(systemBus)), sysfsRoot_(std::move(sysfsRoot)), firstAnswer_(askUpower()) {}

std::optional<QDBusPendingCall> SystemMachineConditions::askUpower() const {
    if (!systemBus_.isConnected()) {
        return std::nullopt;
    }
    auto get = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.UPower"), QStringLiteral("/org/freedesktop/UPower"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.UPower") << QStringLiteral("OnBattery");
    return systemBus_.asyncCall(get, upowerTimeoutMilliseconds);
}

bool SystemMachineConditions::isOnBattery() const {
    auto asked = std::exchange(firstAnswer_, std::nullopt);
    if (!asked) {
        asked = askUpower();
    }
    if (!asked) {
        return false;
    }
    // Blocks without running the event loop, as a blocking call does.
    asked->waitForFinished();
    const QDBusMessage reply = asked->reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return false;
    }
    const QVariant value = qdbus_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
    return value.typeId() == QMetaType::Bool && value.toBool();
}

bool SystemMachineConditions::hasExternalDisplay() const {
    return staywake::hasExternalDisplay(DrmDisplayList::onlineDisplaysBuiltIn(sysfsRoot_));
}

} // namespace staywake
