#include "MockBuses.h"
#include "Staywake/Control/SessionNotices.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"
#include "Support/TestSupport.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>
#include <memory>

namespace staywake {
namespace {

using testing::MockBuses;
using testing::waitUntil;

const QString daemonName = QStringLiteral("org.freedesktop.Notifications");
const QString daemonPath = QStringLiteral("/org/freedesktop/Notifications");

struct Notice {
    QString summary;
    QStringList actions;
};

/// A dbusmock notification daemon on the test's session bus, a session on
/// fake clocks, and the notices about it.
class SessionNoticesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (buses.isMissingATool()) {
            STAYWAKE_SKIP(buses.failure().toStdString());
        }
        ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), buses.sessionAddress());
        daemon.setProcessEnvironment(environment);
        daemon.start(QStringLiteral("/usr/bin/python3"),
                     {"-m", "dbusmock", "--template", "notification_daemon", "--session"});
        ASSERT_TRUE(waitUntil([this] {
            return buses.sessionBus().interface()->isServiceRegistered(daemonName).value();
        })) << daemon.readAllStandardError().toStdString();
        awake = std::make_shared<AwakeController>(
            std::make_shared<InMemorySleepBlocker>(), std::make_shared<InMemoryAwakeIntentStore>(), dates,
            continuous, sessionTimer, std::make_shared<testing::ManualRecheckNotifier>(), false);
        notices = std::make_unique<SessionNotices>(buses.sessionBus(), awake, dates, noticeTimer, defaults);
    }

    void TearDown() override {
        daemon.terminate();
        daemon.waitForFinished();
    }

    void advance(double seconds) {
        dates->advance(seconds);
        continuous->advance(seconds);
    }

    std::vector<Notice> received() const {
        const auto answer = buses.controlMock(buses.sessionBus(), daemonName, daemonPath,
                                              QStringLiteral("GetMethodCalls"), {QStringLiteral("Notify")});
        std::vector<Notice> found;
        if (answer.arguments().isEmpty()) {
            return found;
        }
        const auto calls = answer.arguments().first().value<QDBusArgument>();
        calls.beginArray();
        while (!calls.atEnd()) {
            quint64 time = 0;
            QVariantList arguments;
            calls.beginStructure();
            calls >> time >> arguments;
            calls.endStructure();
            auto unwrap = [&](int at) {
                const QVariant value = arguments.value(at);
                return value.canConvert<QDBusVariant>() ? value.value<QDBusVariant>().variant() : value;
            };
            const QVariant actions = unwrap(5);
            found.push_back(
                {unwrap(3).toString(), actions.canConvert<QDBusArgument>()
                                           ? qdbus_cast<QStringList>(actions.value<QDBusArgument>())
                                           : actions.toStringList()});
        }
        calls.endArray();
        return found;
    }

    MockBuses buses;
    QProcess daemon;
    std::shared_ptr<testing::FakeDateProvider> dates = std::make_shared<testing::FakeDateProvider>();
    std::shared_ptr<testing::FakeContinuousTimeProvider> continuous =
        std::make_shared<testing::FakeContinuousTimeProvider>();
    std::shared_ptr<testing::ManualDeadlineScheduler> sessionTimer =
        std::make_shared<testing::ManualDeadlineScheduler>();
    std::shared_ptr<testing::ManualDeadlineScheduler> noticeTimer =
        std::make_shared<testing::ManualDeadlineScheduler>();
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<AwakeController> awake;
    std::unique_ptr<SessionNotices> notices;
};

TEST_F(SessionNoticesTest, WarnsFiveMinutesAheadAndItsActionAddsHalfAnHour) {
    const Date start = dates->now();
    awake->turnOn(3600);
    ASSERT_TRUE(noticeTimer->pendingAt);
    EXPECT_DOUBLE_EQ(*noticeTimer->pendingAt - start, 3300);

    uint shown = 0;
    QObject::connect(notices.get(), &SessionNotices::warningShown, [&shown](uint id) { shown = id; });
    advance(3300);
    noticeTimer->fire();
    ASSERT_TRUE(waitUntil([&] { return shown != 0; }));
    ASSERT_EQ(received().size(), 1u);
    const Notice warning = received().front();
    EXPECT_EQ(warning.summary, QStringLiteral("5 minutes left"));
    EXPECT_EQ(warning.actions, (QStringList{"add-30-minutes", "Add 30 minutes", "turn-off", "Turn Off Now"}));

    buses.controlMock(buses.sessionBus(), daemonName, daemonPath, QStringLiteral("EmitSignal"),
                      {daemonName, QStringLiteral("ActionInvoked"), QStringLiteral("us"),
                       QVariantList{shown, QStringLiteral("add-30-minutes")}});
    ASSERT_TRUE(waitUntil([&] { return awake->activeUntil().get() == start + 3600 + 1800; }));
    EXPECT_TRUE(awake->isOn());
}

TEST_F(SessionNoticesTest, TellsOnlyOfATimedSessionThatRanOutWhileTheSettingAllows) {
    // Each step that must stay silent goes first; the one notice that follows
    // on the same connection shows they sent nothing.
    awake->turnOn(15 * 60 - 1);
    EXPECT_FALSE(noticeTimer->isPending()) << "too short to warn";
    awake->turnOff();

    defaults->set(SessionNotices::settingKey, false);
    awake->turnOn(3600);
    advance(3300);
    noticeTimer->fire();
    advance(300);
    sessionTimer->fire();
    ASSERT_FALSE(awake->isRequested());

    defaults->set(SessionNotices::settingKey, true);
    awake->turnOn(20 * 60);
    awake->turnOff();
    awake->turnOn(20 * 60);
    advance(20 * 60);
    sessionTimer->fire();
    ASSERT_FALSE(awake->isRequested());

    ASSERT_TRUE(waitUntil([this] { return !received().empty(); }));
    const auto all = received();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all.front().summary, QStringLiteral("Your computer can sleep again"));
    EXPECT_TRUE(all.front().actions.isEmpty());
}

} // namespace
} // namespace staywake
