#include "Staywake/Control/SessionNotices.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"
#include "Support/MockBusLauncher.h"
#include "Support/TestSupport.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <gtest/gtest.h>
#include <memory>

namespace staywake {
namespace {

using testing::MockBuses;
using testing::waitUntil;
using Scheduler = testing::ManualDeadlineScheduler;
using Continuous = testing::FakeContinuousTimeProvider;

const QString daemonName = QStringLiteral("org.freedesktop.Notifications");
const QString daemonPath = QStringLiteral("/org/freedesktop/Notifications");

/// A notification daemon on the test's session bus, a session on fake
/// clocks, and the notices about it.
class SessionNoticesTest : public ::testing::Test {
protected:
    void SetUp() override {
        STAYWAKE_REQUIRE_BUSES(buses);
        awake = std::make_shared<AwakeController>(
            std::make_shared<InMemorySleepBlocker>(), std::make_shared<InMemoryAwakeIntentStore>(), dates,
            continuous, sessionTimer, std::make_shared<testing::ManualRecheckNotifier>(), false);
        notices = std::make_unique<SessionNotices>(buses.sessionBus(), awake, dates, noticeTimer, defaults);
    }

    void advance(double seconds) {
        dates->advance(seconds);
        continuous->advance(seconds);
    }

    /// The arguments of every call of `method` the daemon has had, in order.
    std::vector<QVariantList> calls(const QString& method) const {
        auto call = QDBusMessage::createMethodCall(
            daemonName, daemonPath, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("GetMethodCalls"));
        call << method;
        return testing::readArray<QVariantList>(buses.sessionBus(), call, [](const QDBusArgument& array) {
            quint64 time = 0;
            QVariantList arguments;
            array >> time >> arguments;
            for (auto& argument : arguments) {
                argument =
                    argument.canConvert<QDBusVariant>() ? argument.value<QDBusVariant>().variant() : argument;
            }
            return arguments;
        });
    }
    void invoke(uint id) const {
        buses.controlMock(buses.sessionBus(), daemonName, daemonPath, QStringLiteral("EmitSignal"),
                          {daemonName, QStringLiteral("ActionInvoked"), QStringLiteral("us"),
                           QVariantList{id, QStringLiteral("add-30-minutes")}});
    }

    MockBuses buses{MockBuses::Options{.logind = false, .upower = false, .portal = false, .notifications = true}};
    std::shared_ptr<testing::FakeDateProvider> dates = std::make_shared<testing::FakeDateProvider>();
    std::shared_ptr<testing::FakeContinuousTimeProvider> continuous = std::make_shared<Continuous>();
    std::shared_ptr<Scheduler> sessionTimer = std::make_shared<Scheduler>();
    std::shared_ptr<Scheduler> noticeTimer = std::make_shared<Scheduler>();
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
    const auto warning = calls(QStringLiteral("Notify"));
    ASSERT_EQ(warning.size(), 1u);
    EXPECT_EQ(warning.front().value(3), QStringLiteral("5 minutes left"));
    EXPECT_EQ(warning.front().value(5),
              (QStringList{"add-30-minutes", "Add 30 minutes", "turn-off", "Turn Off Now"}));
    invoke(shown);
    ASSERT_TRUE(waitUntil([&] { return awake->activeUntil().get() == start + 3600 + 1800; }));
    EXPECT_TRUE(awake->isOn());

    // The answered warning is gone, and its action, clicked again, is stale.
    const auto closed = calls(QStringLiteral("CloseNotification"));
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed.front().value(0).toUInt(), shown);
    invoke(shown);
    const uint first = shown;
    advance(1800);
    noticeTimer->fire();
    ASSERT_TRUE(waitUntil([&] { return shown != first; }));
    EXPECT_EQ(awake->activeUntil().get(), start + 3600 + 1800);
}

TEST_F(SessionNoticesTest, TellsOnlyOfATimedSessionThatRanOutWhileTheSettingAllows) {
    // Each step that must stay silent goes first; the one notice that follows
    // on the same connection shows they sent nothing.
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

    ASSERT_TRUE(waitUntil([this] { return !calls(QStringLiteral("Notify")).empty(); }));
    const auto all = calls(QStringLiteral("Notify"));
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all.front().value(3), QStringLiteral("Your computer can sleep again"));
    EXPECT_EQ(all.front().value(5), QStringList());
}

} // namespace
} // namespace staywake
