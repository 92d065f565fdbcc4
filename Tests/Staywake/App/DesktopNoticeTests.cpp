#include "Staywake/App/DesktopNotice.h"

#include "MockBuses.h"
#include "Support/TestSupport.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace staywake {
namespace {

TEST(DesktopNotice, GoesToTheNotificationDaemonOrElseToTheFallbackOnce) {
    testing::MockBuses buses({.logind = false, .upower = false, .portal = false});
    if (!buses.failure().isEmpty()) {
        STAYWAKE_SKIP(buses.failure().toStdString());
    }
    QStringList fallback;
    DesktopNotice notice(buses.sessionBus(), [&](const QString& sentence) { fallback << sentence; });

    notice.show(QStringLiteral("no daemon yet"));
    QTRY_COMPARE(fallback, QStringList{QStringLiteral("no daemon yet")});

    QProcess daemon;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), buses.sessionAddress());
    daemon.setProcessEnvironment(environment);
    daemon.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--session"),
                  QStringLiteral("--template"), QStringLiteral("notification_daemon")});
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    QTRY_VERIFY_WITH_TIMEOUT(buses.sessionBus().interface()->isServiceRegistered(name).value(), 30000);

    QSignalSpy delivered(&notice, &DesktopNotice::delivered);
    notice.show(QStringLiteral("the settings file was moved aside"));
    QTRY_COMPARE(delivered.count(), 1);
    EXPECT_EQ(fallback.size(), 1);

    daemon.terminate();
    daemon.waitForFinished(5000);
}

} // namespace
} // namespace staywake
