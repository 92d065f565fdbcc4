#include "Staywake/App/DesktopNotice.h"
#include "Support/MockBusLauncher.h"
#include "Support/TestSupport.h"

#include <QSignalSpy>
#include <QTest>

namespace staywake {
namespace {

TEST(DesktopNotice, GoesToTheNotificationDaemonOrElseToTheFallback) {
    for (const bool daemon : {false, true}) {
        SCOPED_TRACE(daemon ? "with a daemon" : "without a daemon");
        testing::MockBuses buses({.logind = false, .upower = false, .portal = false, .notifications = daemon});
        if (!buses.failure().empty()) {
            STAYWAKE_SKIP(buses.failure());
        }
        QStringList fallback;
        DesktopNotice notice(buses.sessionBus(), [&](const QString& sentence) { fallback << sentence; });
        QSignalSpy delivered(&notice, &DesktopNotice::delivered);
        notice.show(QStringLiteral("the settings file was moved aside"));
        if (daemon) {
            QTRY_COMPARE(delivered.count(), 1);
            EXPECT_TRUE(fallback.isEmpty());
        } else {
            QTRY_COMPARE(fallback, QStringList{QStringLiteral("the settings file was moved aside")});
            EXPECT_EQ(delivered.count(), 0);
        }
    }
}

} // namespace
} // namespace staywake
