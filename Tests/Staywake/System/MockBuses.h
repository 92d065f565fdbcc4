#pragma once

#include "Support/MockBusLauncher.h"
#include "Support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace staywake::testing {

/// A private system and session bus for one test with the services mock_buses.py
/// starts; gone with the object.
class MockBuses {
public:
    struct Options {
        bool logind = true;
        bool upower = true;
        bool portal = true;
        bool onBattery = false;
        bool systemd = false;
        bool notifications = false;
    };

    MockBuses() : MockBuses(Options{}) {}
    explicit MockBuses(Options options);
    ~MockBuses();
    MockBuses(const MockBuses&) = delete;
    MockBuses& operator=(const MockBuses&) = delete;

    /// Empty when the buses run; otherwise why not.
    const QString& failure() const { return failure_; }
    /// A missing tool is no fault: the test skips.
    bool isMissingATool() const { return missingTool_; }
    const QString& systemAddress() const { return systemAddress_; }
    const QString& sessionAddress() const { return sessionAddress_; }
    QDBusConnection systemBus() const { return QDBusConnection(systemName_); }
    QDBusConnection sessionBus() const { return QDBusConnection(sessionName_); }

    /// Calls dbusmock's control interface (org.freedesktop.DBus.Mock) on a mocked object.
    QDBusMessage controlMock(const QDBusConnection& bus, const QString& service, const QString& path,
                             const QString& method, const QVariantList& arguments = {}) const;
    /// Has the mocked logind announce PrepareForSleep(starting).
    QDBusMessage emitPrepareForSleep(bool starting) const;

private:
    std::unique_ptr<LaunchedMockBuses> launched_;
    QString failure_;
    bool missingTool_ = false;
    QString systemAddress_;
    QString sessionAddress_;
    QString systemName_;
    QString sessionName_;
};

/// Skips the test when a tool is missing, fails it when the buses do not run.
#define STAYWAKE_REQUIRE_BUSES(buses)                                                                             \
    do {                                                                                                          \
        if ((buses).isMissingATool()) {                                                                           \
            STAYWAKE_SKIP((buses).failure().toStdString());                                                       \
        }                                                                                                         \
        ASSERT_TRUE((buses).failure().isEmpty()) << (buses).failure().toStdString();                              \
    } while (false)

struct LogindInhibitor {
    QString what;
    QString who;
    QString why;
    QString mode;
};

/// logind's ListInhibitors on the mocked system bus.
std::vector<LogindInhibitor> logindInhibitors(const QDBusConnection& systemBus);

struct PortalInhibition {
    QString sender;
    unsigned flags = 0;
    QString reason;
    bool active = false;
};

/// Every Inhibit the mocked portal was asked for, in order.
std::vector<PortalInhibition> portalInhibitions(const QDBusConnection& sessionBus);

/// Runs the GUI thread's events until `condition` holds or `timeout` passes; whether it holds.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

/// Runs the GUI thread's events for `duration`: only to show that something does
/// NOT happen, after everything that should have happened was awaited.
void runEventsFor(std::chrono::milliseconds duration);

} // namespace staywake::testing
