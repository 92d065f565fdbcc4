#include "MockBuses.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>
#include <atomic>

namespace staywake::testing {

namespace {

const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

QString nextConnectionName(const char* kind) {
    static std::atomic<int> count{0};
    return QStringLiteral("staywake-test-%1-%2").arg(QLatin1String(kind)).arg(++count);
}

/// The elements of the array a call answers with, each read by `read`.
template <typename Element, typename Read>
std::vector<Element> readArray(const QDBusConnection& bus, const QDBusMessage& call, Read read) {
    const auto reply = bus.call(call, QDBus::Block, 20000);
    std::vector<Element> result;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return result;
    }
    const auto array = qvariant_cast<QDBusArgument>(reply.arguments().constFirst());
    array.beginArray();
    while (!array.atEnd()) {
        array.beginStructure();
        result.push_back(read(array));
        array.endStructure();
    }
    array.endArray();
    return result;
}

} // namespace

MockBuses::MockBuses(Options options) {
    std::string without;
    for (const auto& [off, name] : {std::pair(!options.logind, ",logind"), std::pair(!options.upower, ",upower"),
                                    std::pair(!options.portal, ",portal")}) {
        without += off ? name : "";
    }
    std::vector<std::string> arguments{"--without=" + without.substr(without.empty() ? 0 : 1)};
    for (const auto& [on, flag] :
         {std::pair(options.onBattery, "--on-battery"), std::pair(options.systemd, "--systemd"),
          std::pair(options.notifications, "--notifications")}) {
        if (on) {
            arguments.emplace_back(flag);
        }
    }
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
    const auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors"));
    return readArray<LogindInhibitor>(systemBus, call, [](const QDBusArgument& array) {
        LogindInhibitor inhibitor;
        uint uid = 0;
        uint pid = 0;
        array >> inhibitor.what >> inhibitor.who >> inhibitor.why >> inhibitor.mode >> uid >> pid;
        return inhibitor;
    });
}

std::vector<PortalInhibition> portalInhibitions(const QDBusConnection& sessionBus) {
    const auto call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                                     QStringLiteral("/org/freedesktop/portal/desktop"),
                                                     mockInterface, QStringLiteral("ListInhibitions"));
    return readArray<PortalInhibition>(sessionBus, call, [](const QDBusArgument& array) {
        PortalInhibition inhibition;
        array >> inhibition.sender >> inhibition.flags >> inhibition.reason >> inhibition.active;
        return inhibition;
    });
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    bool held = condition();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        held = condition();
        if (held) {
            loop.quit();
        }
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    tick.start(10);
    if (!held) {
        loop.exec();
    }
    return held;
}

void runEventsFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace staywake::testing
