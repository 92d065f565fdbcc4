#include "Staywake/Lid/SystemdLidHelperRegistration.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QStringList>
#include <QTimer>

#include <functional>
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

/// Sends one call without blocking; `answered` gets the reply or the error,
/// from the event loop.
void callAsync(const QDBusConnection& bus, const QDBusMessage& call, int timeoutMilliseconds,
               std::function<void(const QDBusMessage& reply)> answered) {
    const QDBusPendingCall pending = bus.asyncCall(call, timeoutMilliseconds);
    if (pending.isFinished()) {
        // A connection that is not there fails the call at once, and no
        // watcher would ever say so: answer from the event loop all the same.
        QTimer::singleShot(0, [answered = std::move(answered), reply = pending.reply()] { answered(reply); });
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(pending);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [answered = std::move(answered)](QDBusPendingCallWatcher* done) {
                         done->deleteLater();
                         answered(done->reply());
                     });
}

/// The unit's ActiveState, or nothing when systemd has not loaded it (then
/// it is not listening either).
void readActiveState(const QDBusConnection& bus, const QString& unit,
                     std::function<void(std::optional<QString> state)> answered) {
    callAsync(
        bus, managerCall(QStringLiteral("GetUnit"), {unit}, false),
        SystemdLidHelperRegistration::statusTimeoutMilliseconds,
        [bus, answered = std::move(answered)](const QDBusMessage& reply) {
            const auto unitPath = reply.arguments().value(0).value<QDBusObjectPath>().path();
            if (reply.type() != QDBusMessage::ReplyMessage || unitPath.isEmpty()) {
                answered(std::nullopt);
                return;
            }
            QDBusMessage get = QDBusMessage::createMethodCall(
                service, unitPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            get.setArguments({QStringLiteral("org.freedesktop.systemd1.Unit"), QStringLiteral("ActiveState")});
            callAsync(bus, get, SystemdLidHelperRegistration::statusTimeoutMilliseconds,
                      [answered](const QDBusMessage& property) {
                          const QVariant value = property.arguments().value(0).value<QDBusVariant>().variant();
                          if (property.type() != QDBusMessage::ReplyMessage ||
                              value.typeId() != QMetaType::QString) {
                              answered(std::nullopt);
                              return;
                          }
                          answered(value.toString());
                      });
        });
}

struct Step {
    QString what;
    QString method;
    QList<QVariant> arguments;
};

/// Sends the steps one after another without blocking, each once the one
/// before succeeded. Holds copies only, so it outlives its registration.
void runSteps(const QDBusConnection& bus, const QString& unit, std::shared_ptr<const std::vector<Step>> steps,
              std::size_t index, const SystemdLidHelperRegistration::Approved& finished) {
    if (index >= steps->size()) {
        finished(std::nullopt);
        return;
    }
    const Step& step = (*steps)[index];
    callAsync(bus, managerCall(step.method, step.arguments, true),
              SystemdLidHelperRegistration::registrationTimeoutMilliseconds,
              [bus, unit, steps, index, finished](const QDBusMessage& reply) {
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

void SystemdLidHelperRegistration::readStatus(StatusHandler handler) const {
    callAsync(bus_, managerCall(QStringLiteral("GetUnitFileState"), {unit_}, false), statusTimeoutMilliseconds,
              [bus = bus_, unit = unit_, handler = std::move(handler)](const QDBusMessage& reply) {
                  if (reply.type() == QDBusMessage::ErrorMessage) {
                      // Anything but "no such unit" (no systemd, no bus, a
                      // timeout) reads as not registered, so that the next step
                      // is a registration attempt, whose error then says what
                      // is wrong.
                      handler(meansNoSuchUnit(reply.errorName()) ? LidHelperStatus::notFound
                                                                 : LidHelperStatus::notRegistered);
                      return;
                  }
                  const QList<QVariant> arguments = reply.arguments();
                  if (reply.type() != QDBusMessage::ReplyMessage || arguments.size() != 1 ||
                      arguments.front().typeId() != QMetaType::QString) {
                      handler(LidHelperStatus::notRegistered);
                      return;
                  }
                  const LidHelperStatus status = statusForUnitFileState(arguments.front().toString());
                  if (status != LidHelperStatus::enabled) {
                      handler(status);
                      return;
                  }
                  readActiveState(bus, unit, [handler](std::optional<QString> state) {
                      handler(state && isListening(*state) ? LidHelperStatus::enabled
                                                           : LidHelperStatus::notRegistered);
                  });
              });
}

void SystemdLidHelperRegistration::registerHelper(Finished finished) {
    // Enabled for good (not only for this boot), replacing any stale link;
    // then systemd reads the unit files again and starts listening at once.
    auto steps = std::make_shared<const std::vector<Step>>(std::vector<Step>{
        {QStringLiteral("enable"), QStringLiteral("EnableUnitFiles"), {QStringList{unit_}, false, true}},
        {QStringLiteral("reload systemd for"), QStringLiteral("Reload"), {}},
        {QStringLiteral("start"), QStringLiteral("StartUnit"), {unit_, QStringLiteral("replace")}},
    });
    runSteps(bus_, unit_, std::move(steps), 0, [finished = std::move(finished)](std::optional<std::string> error) {
        finished(error ? std::make_exception_ptr(std::runtime_error(*error)) : nullptr);
    });
}

void SystemdLidHelperRegistration::approve(Approved finished) const {
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

bool SystemdLidHelperRegistration::isListening(const QString& activeState) {
    return activeState == QStringLiteral("active") || activeState == QStringLiteral("reloading") ||
           activeState == QStringLiteral("activating");
}

} // namespace staywake
