#pragma once

// Private system and session buses with python-dbusmock's services, as the script named by
// STAYWAKE_MOCK_BUSES_SCRIPT (Tests/Staywake/System/mock_buses.py) starts them; with Qt D-Bus,
// also Qt connections to the buses and readers of the mocks.

#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TestSupport.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef QT_DBUS_LIB
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#endif

namespace staywake::testing {

/// The buses while the object lives (or until stop()): closing the script's input ends them.
class MockBuses {
public:
    struct Options {
        bool logind = true;
        bool upower = true;
        bool portal = true;
        bool onBattery = false;
        bool systemd = false;
        bool notifications = false;
        /// polkitd's answer to the lid helper ("allow", "deny", "hang"); empty: no polkitd.
        std::string polkit = {};
    };

    MockBuses() : MockBuses(Options{}) {}
    explicit MockBuses(const Options& options) {
        // Debian's python3: one earlier on PATH may lack dbusmock.
        if (::access("/usr/bin/python3", X_OK) != 0) {
            failure_ = "/usr/bin/python3 is missing";
            missingTool_ = true;
            return;
        }
        std::string without = std::string(options.logind ? "" : ",logind") + (options.upower ? "" : ",upower") +
                              (options.portal ? "" : ",portal");
        std::vector<std::string> argv = {"/usr/bin/python3", STAYWAKE_MOCK_BUSES_SCRIPT,
                                         "--without=" + without.substr(without.empty() ? 0 : 1)};
        for (const auto& [on, flag] :
             {std::pair(options.onBattery, "--on-battery"), std::pair(options.systemd, "--systemd"),
              std::pair(options.notifications, "--notifications")}) {
            if (on) {
                argv.emplace_back(flag);
            }
        }
        if (!options.polkit.empty()) {
            argv.push_back("--polkit=" + options.polkit);
        }
        process_ = std::make_unique<ChildProcess>(argv);
        // It prints {"system": ADDRESS, "session": ADDRESS} once its services answer.
        const std::string line = process_->readLine(std::chrono::seconds(90));
        const auto addressIn = [&](const std::string& bus) {
            const std::string key = "\"" + bus + "\": \"";
            const auto start = line.find(key);
            const auto end = start == std::string::npos ? start : line.find('"', start + key.size());
            return end == std::string::npos ? std::string()
                                            : line.substr(start + key.size(), end - start - key.size());
        };
        systemAddress_ = addressIn("system");
        sessionAddress_ = addressIn("session");
        if (systemAddress_.empty()) {
            stop();
            failure_ = "the mocked buses did not start (the reason is on standard error above): " + line;
        }
    }

    /// Ends them as stop() does: killed instead, the launcher would leave its buses behind.
    ~MockBuses() { stop(); }
    MockBuses(const MockBuses&) = delete;
    MockBuses& operator=(const MockBuses&) = delete;

    /// Empty when the buses run; otherwise why not.
    const std::string& failure() const { return failure_; }
    /// The buses could not start because python3 or dbusmock is missing (not a fault).
    bool isMissingATool() const { return missingTool_; }
    const std::string& systemAddress() const { return systemAddress_; }
    const std::string& sessionAddress() const { return sessionAddress_; }

    /// A call to a mock's control interface on the system bus through busctl; its reply as busctl prints it.
    std::string control(const std::string& service, const std::string& object,
                        const std::vector<std::string>& call) const {
        std::string command = "/usr/bin/busctl --address=" + systemAddress_ + " call " + service + " " + object +
                              " org.freedesktop.DBus.Mock";
        for (const auto& word : call) {
            command += " '" + word + "'";
        }
        if (auto reply = commandOutput(command)) {
            return *reply;
        }
        throw std::runtime_error("busctl could not call the mock's " + call.front());
    }

    /// Ends the buses and every mock with them (which closes a logind lock's pipe).
    void stop() {
        if (process_) {
            process_->closeInput();
            missingTool_ = missingTool_ || process_->waitForExit(std::chrono::seconds(60)) == 77;
            process_.reset();
        }
    }

#ifdef QT_DBUS_LIB
    // Connected on first use, so that the object is the same with Qt or without.
    QDBusConnection systemBus() const { return connection(systemAddress_); }
    QDBusConnection sessionBus() const { return connection(sessionAddress_); }

    /// Calls dbusmock's control interface (org.freedesktop.DBus.Mock) on a mocked object.
    static QDBusMessage controlMock(const QDBusConnection& bus, const QString& service, const QString& path,
                                    const QString& method, const QVariantList& arguments = {}) {
        auto call =
            QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Mock"), method);
        call.setArguments(arguments);
        return bus.call(call, QDBus::Block, 20000);
    }
#endif

private:
    std::unique_ptr<ChildProcess> process_;
    std::string failure_;
    bool missingTool_ = false;
    std::string systemAddress_;
    std::string sessionAddress_;

#ifdef QT_DBUS_LIB
    static QDBusConnection connection(const std::string& address) {
        // A name per address: each call after the first returns the same connection.
        return QDBusConnection::connectToBus(QString::fromStdString(address),
                                             QString::fromStdString("staywake-test " + address));
    }
#endif
};

#ifdef QT_DBUS_LIB
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

struct LogindInhibitor {
    QString what;
    QString who;
    QString why;
    QString mode;
};

/// logind's ListInhibitors on the mocked system bus.
inline std::vector<LogindInhibitor> logindInhibitors(const QDBusConnection& systemBus) {
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

struct PortalInhibition {
    QString sender;
    unsigned flags = 0;
    QString reason;
    bool active = false;
};

/// Every Inhibit the mocked portal was asked for, in order.
inline std::vector<PortalInhibition> portalInhibitions(const QDBusConnection& sessionBus) {
    const auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("ListInhibitions"));
    return readArray<PortalInhibition>(sessionBus, call, [](const QDBusArgument& array) {
        PortalInhibition inhibition;
        array >> inhibition.sender >> inhibition.flags >> inhibition.reason >> inhibition.active;
        return inhibition;
    });
}

/// Runs the GUI thread's events for `duration`: only to show that something does
/// NOT happen, after everything that should have happened was awaited.
inline void runEventsFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Runs the GUI thread's events until `condition` holds or `timeout` passes; whether it holds.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        runEventsFor(std::chrono::milliseconds(10));
    }
    return true;
}
#endif

/// Skips the test when a tool is missing, fails it when the buses do not run.
#define STAYWAKE_REQUIRE_BUSES(buses)                                                                             \
    do {                                                                                                          \
        if ((buses).isMissingATool()) {                                                                           \
            STAYWAKE_SKIP((buses).failure());                                                                     \
        }                                                                                                         \
        ASSERT_EQ((buses).failure(), "");                                                                         \
    } while (false)

} // namespace staywake::testing
