#include "Staywake/Lid/SystemdLidHelperRegistration.h"

#include <QDBusMessage>
#include <QStringList>

#include <stdexcept>
#include <utility>

namespace staywake {

namespace {

const QString service = QStringLiteral("org.freedesktop.systemd1");
const QString path = QStringLiteral("/org/freedesktop/systemd1");
const QString managerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");

} // namespace

SystemdLidHelperRegistration::SystemdLidHelperRegistration(QDBusConnection systemBus, QString unit)
    : bus_(std::move(systemBus)), unit_(std::move(unit)) {}

LidHelperStatus SystemdLidHelperRegistration::status() const {
    const QDBusMessage reply =
        callManager(QStringLiteral("GetUnitFileState"), {unit_}, statusTimeoutMilliseconds, false);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // Anything but "no such unit" (no systemd, no bus, a timeout) reads as
        // not registered, so that the next step is a registration attempt,
        // whose error then says what is wrong.
        return meansNoSuchUnit(reply.errorName()) ? LidHelperStatus::notFound : LidHelperStatus::notRegistered;
    }
    const QList<QVariant> arguments = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || arguments.size() != 1 ||
        arguments.front().typeId() != QMetaType::QString) {
        return LidHelperStatus::notRegistered;
    }
    return statusForUnitFileState(arguments.front().toString());
}

void SystemdLidHelperRegistration::registerHelper() {
    // Enabled for good (not only for this boot), replacing any stale link;
    // then systemd reads the unit files again and starts listening at once.
    callOrThrow(QStringLiteral("enable"), QStringLiteral("EnableUnitFiles"),
                {QStringList{unit_}, false, true});
    callOrThrow(QStringLiteral("reload systemd for"), QStringLiteral("Reload"), {});
    callOrThrow(QStringLiteral("start"), QStringLiteral("StartUnit"), {unit_, QStringLiteral("replace")});
}

LidHelperStatus SystemdLidHelperRegistration::statusForUnitFileState(const QString& state) {
    static const QStringList enabled = {QStringLiteral("enabled"), QStringLiteral("enabled-runtime"),
                                        QStringLiteral("static"),  QStringLiteral("indirect"),
                                        QStringLiteral("alias"),   QStringLiteral("linked")};
    static const QStringList masked = {QStringLiteral("masked"), QStringLiteral("masked-runtime")};
    if (enabled.contains(state)) {
        return LidHelperStatus::enabled;
    }
    if (masked.contains(state)) {
        return LidHelperStatus::requiresApproval;
    }
    return LidHelperStatus::notRegistered;
}

bool SystemdLidHelperRegistration::meansNoSuchUnit(const QString& errorName) {
    // systemd answers NoSuchUnit for a name it has never loaded and
    // FileNotFound (ENOENT) when no unit file of that name exists.
    return errorName == QStringLiteral("org.freedesktop.systemd1.NoSuchUnit") ||
           errorName == QStringLiteral("org.freedesktop.DBus.Error.FileNotFound");
}

QDBusMessage SystemdLidHelperRegistration::callManager(const QString& method, const QList<QVariant>& arguments,
                                                       int timeoutMilliseconds, bool interactive) const {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, managerInterface, method);
    call.setArguments(arguments);
    call.setInteractiveAuthorizationAllowed(interactive);
    return bus_.call(call, QDBus::Block, timeoutMilliseconds);
}

void SystemdLidHelperRegistration::callOrThrow(const QString& what, const QString& method,
                                               const QList<QVariant>& arguments) const {
    const QDBusMessage reply = callManager(method, arguments, registrationTimeoutMilliseconds, true);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return;
    }
    // The message of systemd's or polkit's error is what the user sees.
    QString message = reply.errorMessage();
    if (message.isEmpty()) {
        message = reply.errorName().isEmpty()
                      ? QStringLiteral("Could not %1 %2: systemd did not answer.").arg(what, unit_)
                      : reply.errorName();
    }
    throw std::runtime_error(message.toStdString());
}

} // namespace staywake
