#include "MockBuses.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <atomic>

namespace staywake::testing {

namespace {

constexpr int missingToolStatus = 77;
const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

QString nextConnectionName(const char* kind) {
    static std::atomic<int> count{0};
    return QStringLiteral("staywake-test-%1-%2").arg(QLatin1String(kind)).arg(++count);
}

} // namespace

MockBuses::MockBuses(Options options) {
    QStringList arguments{QStringLiteral(STAYWAKE_MOCK_BUSES_SCRIPT)};
    QStringList without;
    if (!options.logind) {
        without << QStringLiteral("logind");
    }
    if (!options.upower) {
        without << QStringLiteral("upower");
    }
    if (!options.portal) {
        without << QStringLiteral("portal");
    }
    if (!without.isEmpty()) {
        arguments << QStringLiteral("--without=") + without.join(QLatin1Char(','));
    }
    if (options.onBattery) {
        arguments << QStringLiteral("--on-battery");
    }
    if (options.systemd) {
        arguments << QStringLiteral("--systemd");
    }
    // Debian's python: a python3 earlier on PATH may lack dbusmock.
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!process_.waitForStarted(20000)) {
        failure_ = QStringLiteral("could not start /usr/bin/python3: ") + process_.errorString();
        missingTool_ = process_.error() == QProcess::FailedToStart;
        return;
    }
    // The script prints its line once every mocked service answers.
    const QDeadlineTimer deadline(std::chrono::seconds(90));
    while (!process_.canReadLine() && process_.state() == QProcess::Running && !deadline.hasExpired()) {
        process_.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
    }
    if (!process_.canReadLine()) {
        process_.waitForFinished(5000);
        failure_ = QStringLiteral("the mock buses did not start: ") +
                   QString::fromUtf8(process_.readAllStandardError()).trimmed();
        missingTool_ = process_.state() == QProcess::NotRunning &&
                       process_.exitStatus() == QProcess::NormalExit &&
                       process_.exitCode() == missingToolStatus;
        return;
    }
    const auto addresses = QJsonDocument::fromJson(process_.readLine()).object();
    systemAddress_ = addresses.value(QStringLiteral("system")).toString();
    sessionAddress_ = addresses.value(QStringLiteral("session")).toString();
    systemName_ = nextConnectionName("system");
    sessionName_ = nextConnectionName("session");
    if (!QDBusConnection::connectToBus(systemAddress_, systemName_).isConnected() ||
        !QDBusConnection::connectToBus(sessionAddress_, sessionName_).isConnected()) {
        failure_ = QStringLiteral("could not connect to the mock buses");
    }
}

MockBuses::~MockBuses() {
    if (!systemName_.isEmpty()) {
        QDBusConnection::disconnectFromBus(systemName_);
        QDBusConnection::disconnectFromBus(sessionName_);
    }
    if (process_.state() != QProcess::NotRunning) {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(20000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

QDBusMessage MockBuses::controlMock(const QDBusConnection& bus, const QString& service, const QString& path,
                                    const QString& method, const QVariantList& arguments) const {
    auto call = QDBusMessage::createMethodCall(service, path, mockInterface, method);
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, 20000);
}

QDBusMessage MockBuses::emitPrepareForSleep(bool starting) const {
    return controlMock(systemBus(), QStringLiteral("org.freedesktop.login1"),
                       QStringLiteral("/org/freedesktop/login1"), QStringLiteral("EmitSignal"),
                       {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                        QStringLiteral("b"), QVariantList{QVariant::fromValue(QDBusVariant(starting))}});
}

std::vector<LogindInhibitor> logindInhibitors(const QDBusConnection& systemBus) {
    auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors"));
    const auto reply = systemBus.call(call, QDBus::Block, 20000);
    std::vector<LogindInhibitor> result;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return result;
    }
    const auto array = qvariant_cast<QDBusArgument>(reply.arguments().constFirst());
    array.beginArray();
    while (!array.atEnd()) {
        LogindInhibitor inhibitor;
        uint uid = 0;
        uint pid = 0;
        array.beginStructure();
        array >> inhibitor.what >> inhibitor.who >> inhibitor.why >> inhibitor.mode >> uid >> pid;
        array.endStructure();
        result.push_back(inhibitor);
    }
    array.endArray();
    return result;
}

std::vector<PortalInhibition> portalInhibitions(const QDBusConnection& sessionBus) {
    auto call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                               QStringLiteral("/org/freedesktop/portal/desktop"),
                                               mockInterface, QStringLiteral("ListInhibitions"));
    const auto reply = sessionBus.call(call, QDBus::Block, 20000);
    std::vector<PortalInhibition> result;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return result;
    }
    const auto array = qvariant_cast<QDBusArgument>(reply.arguments().constFirst());
    array.beginArray();
    while (!array.atEnd()) {
        PortalInhibition inhibition;
        array.beginStructure();
        array >> inhibition.sender >> inhibition.flags >> inhibition.reason >> inhibition.active;
        array.endStructure();
        result.push_back(inhibition);
    }
    array.endArray();
    return result;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    if (condition()) {
        return true;
    }
    const QDeadlineTimer deadline(timeout);
    QEventLoop loop;
    QTimer tick;
    bool held = false;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        held = condition();
        if (held || deadline.hasExpired()) {
            loop.quit();
        }
    });
    tick.start(10);
    loop.exec();
    return held;
}

void runEventsFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace staywake::testing
