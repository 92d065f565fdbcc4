#include "Staywake/App/DesktopNotice.h"
#include "Support/MockBusLauncher.h"
#include "Support/TestSupport.h"

#include <QSignalSpy>
#include <QTest>

namespace staywake {
namespace {

TEST(DesktopNotice, GoesToTheNotificationDaemonOrElseToTheFallback) {
    for (const bool daemon : {false, true}) {
        testing::MockBuses buses({.logind = false, .upower = false, .portal = false, .notifications = daemon});
        STAYWAKE_REQUIRE_BUSES(buses);
        QStringList fallback;
        DesktopNotice notice(buses.sessionBus(), [&](const QString& sentence) { fallback << sentence; });
        QSignalSpy delivered(&notice, &DesktopNotice::delivered);
        const QString sentence = QStringLiteral("the settings file was moved aside");
        notice.show(sentence);
        QTRY_COMPARE(delivered.count() + fallback.size(), 1);
        EXPECT_EQ(fallback, daemon ? QStringList() : QStringList{sentence}) << "daemon " << daemon;
    }
}

} // namespace
} // namespace staywake
