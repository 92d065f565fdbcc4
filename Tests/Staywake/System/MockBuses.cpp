#include "MockBuses.h"

#include "Support/MockBusLauncher.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <sys/wait.h>
#include <utility>

namespace staywake::testing {

namespace {

const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

QString nextConnectionName(const char* kind) {
    static std::atomic<int> count{0};
    return QStringLiteral("staywake-test-%1-%2").arg(QLatin1String(kind)).arg(++count);
}

} // namespace

MockBuses::MockBuses(Options options) {
    std::vector<std::string> arguments;
    std::string without;
    for (const auto& [off, name] : {std::pair(!options.logind, "logind,"), std::pair(!options.upower, "upower,"),
                                    std::pair(!options.portal, "portal,")}) {
        without += off ? name : "";
    }
    if (!without.empty()) {
        arguments.push_back("--without=" + without.substr(0, without.size() - 1));
    }
    if (options.onBattery) {
        arguments.emplace_back("--on-battery");
    }
    if (options.systemd) {
        arguments.emplace_back("--systemd");
    }
    if (options.notifications) {
        arguments.emplace_back("--notifications");
    }
    // The launcher prints its line once every mocked service answers.
    launched_ = std::make_unique<LaunchedMockBuses>(STAYWAKE_MOCK_BUSES_SCRIPT, arguments);
    if (!launched_->failure().empty()) {
        missingTool_ = launched_->isMissingATool();
        failure_ = QString::fromStdString(launched_->failure());
        launched_.reset();
        return;
    }
    systemAddress_ = QString::fromStdString(launched_->systemAddress());
    sessionAddress_ = QString::fromStdString(launched_->sessionAddress());
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
    launched_.reset(); // the launcher tears everything down when its input closes
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
                                               QStringLiteral("/org/freedesktop/portal/desktop"), mockInterface,
                                               QStringLiteral("ListInhibitions"));
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
