#include "AppClient.h"

#include <QDBusArgument>
#include <QDBusVariant>

namespace staywake {

namespace {

const QString service = QStringLiteral("com.staywake.app");
const QString path = QStringLiteral("/com/staywake/app");
const QString interface = QStringLiteral("com.staywake.App1");
constexpr int timeoutMilliseconds = 25000;

} // namespace

QString AppClient::problem() const {
    return bus_.isConnected() ? QString()
                              : QStringLiteral("staywakectl: no session bus: %1").arg(bus_.lastError().message());
}

std::optional<QVariantList> AppClient::send(QDBusMessage message, QString& error) const {
    const QDBusMessage answer = bus_.call(message, QDBus::Block, timeoutMilliseconds);
    if (answer.type() == QDBusMessage::ReplyMessage) {
        return answer.arguments();
    }
    const QString name = answer.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Spawn.ChildExited")) {
        error = QStringLiteral("staywakectl: Staywake is not running and could not be started.");
    } else if (name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
               name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
               name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")) {
        error = QStringLiteral("staywakectl: the running Staywake does not offer scripting; update it.");
    } else {
        error = QStringLiteral("staywakectl: %1").arg(answer.errorMessage());
    }
    return std::nullopt;
}

std::optional<QVariantList> AppClient::call(const QString& method, const QVariantList& arguments,
                                            QString& error) const {
    auto message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return send(message, error);
}

std::optional<QVariantMap> AppClient::properties(QString& error) const {
    auto message = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                  QStringLiteral("GetAll"));
    message << interface;
    const auto answer = send(message, error);
    if (!answer || answer->isEmpty()) {
        if (answer) {
            error = QStringLiteral("staywakectl: Staywake sent no properties.");
        }
        return std::nullopt;
    }
    QVariantMap values;
    answer->first().value<QDBusArgument>() >> values;
    return values;
}

} // namespace staywake
