#include "Staywake/Lid/SystemdLidHelperRegistration.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>

#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace staywake {

namespace {

const QString service = QStringLiteral("org.freedesktop.systemd1");
const QString path = QStringLiteral("/org/freedesktop/systemd1");
const QString managerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");

QDBusMessage managerCall(const QString& method, const QList<QVariant>& arguments, bool interactive) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, managerInterface, method);
    call.setArguments(arguments);
    call.setInteractiveAuthorizationAllowed(interactive);
    return call;
}

/// The text a failed step reports: systemd's or polkit's own message.
std::string failureText(const QDBusMessage& reply, const QString& what, const QString& unit) {
    QString message = reply.errorMessage();
    if (message.isEmpty()) {
        message = reply.errorName().isEmpty()
                      ? QStringLiteral("Could not %1 %2: systemd did not answer.").arg(what, unit)
                      : reply.errorName();
    }
    return message.toStdString();
}

struct Step {
    QString what;
    QString method;
    QList<QVariant> arguments;
};

/// Sends the steps one after another without blocking, each once the one
/// before succeeded. Holds copies only, so it outlives its registration.
void runSteps(const QDBusConnection& bus, const QString& unit, std::shared_ptr<const std::vector<Step>> steps,
              std::size_t index, const SystemdLidHelperRegistration::Finished& finished) {
    if (index >= steps->size()) {
        finished(std::nullopt);
        return;
    }
    const Step& step = (*steps)[index];
    auto* watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(managerCall(step.method, step.arguments, true),
                      SystemdLidHelperRegistration::registrationTimeoutMilliseconds));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [bus, unit, steps, index, finished](QDBusPendingCallWatcher* done) {
                         done->deleteLater();
                         const QDBusMessage reply = done->reply();
                         if (reply.type() != QDBusMessage::ReplyMessage) {
                             finished(failureText(reply, (*steps)[index].what, unit));
                             return;
                         }
                         runSteps(bus, unit, steps, index + 1, finished);
                     });
}

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

void SystemdLidHelperRegistration::approve(Finished finished) const {
    const QString serviceUnit = QString::fromLatin1(serviceUnitName);
    auto steps = std::make_shared<const std::vector<Step>>(std::vector<Step>{
        {QStringLiteral("unmask"), QStringLiteral("UnmaskUnitFiles"), {QStringList{unit_, serviceUnit}, false}},
        {QStringLiteral("enable"), QStringLiteral("EnableUnitFiles"), {QStringList{unit_}, false, true}},
        {QStringLiteral("reload systemd for"), QStringLiteral("Reload"), {}},
    });
    runSteps(bus_, unit_, std::move(steps), 0, std::move(finished));
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
