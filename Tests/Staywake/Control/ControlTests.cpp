#include "Staywake/Control/SessionNotices.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"
#include "Support/MockBusLauncher.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

namespace staywake {
namespace {

using testing::logindInhibitors;
using testing::MockBuses;
using testing::waitUntil;
using Scheduler = testing::ManualDeadlineScheduler;
using Continuous = testing::FakeContinuousTimeProvider;

const QString daemonName = QStringLiteral("org.freedesktop.Notifications");
const QString daemonPath = QStringLiteral("/org/freedesktop/Notifications");

/// A notification daemon on the session bus, a session on fake clocks, and the notices about it.
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

struct Ran {
    int status = -1;
    QString out;
    QString err;
};

/// The real app on private buses, and staywakectl run against it.
class StaywakectlTest : public ::testing::Test {
protected:
    void SetUp() override {
        STAYWAKE_REQUIRE_BUSES(buses);
        environment.insert(QStringLiteral("HOME"), QString::fromStdString(home.path().string()));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(home.path().string()));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }

    void TearDown() override {
        app.kill();
        app.waitForFinished();
        if (HasFailure()) {
            std::fprintf(stderr, "the app's log:\n%s\n", app.readAllStandardError().constData());
        }
    }

    void startApp(const MockBuses& with) {
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QString::fromStdString(with.sessionAddress()));
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                           QString::fromStdString(with.systemAddress()));
        app.setProcessEnvironment(environment);
        app.start(QStringLiteral(STAYWAKE_APP_PROGRAM), {});
        ASSERT_TRUE(app.waitForStarted());
        ASSERT_TRUE(waitUntil([&with] { return named(with, "com.staywake.app"); })) << "the app claimed no name";
    }

    static bool named(const MockBuses& buses, const char* name) {
        return buses.sessionBus().interface()->isServiceRegistered(QString::fromLatin1(name)).value();
    }

    std::unique_ptr<QProcess> startCtl(const QStringList& arguments, const QString& bus = {}) {
        auto process = std::make_unique<QProcess>();
        auto changed = environment;
        if (!bus.isEmpty()) {
            changed.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
        }
        process->setProcessEnvironment(changed);
        process->start(QStringLiteral(STAYWAKECTL_PROGRAM), arguments);
        EXPECT_TRUE(process->waitForStarted());
        return process;
    }

    Ran ctl(const QStringList& arguments, const QString& bus = {}) {
        auto process = startCtl(arguments, bus);
        EXPECT_TRUE(process->waitForFinished(60000));
        return {process->exitCode(), process->readAllStandardOutput(), process->readAllStandardError()};
    }

    /// A value of `status --json`.
    QJsonValue status(const char* key) {
        const Ran ran = ctl({"status", "--json"});
        EXPECT_EQ(ran.status, 0) << ran.err.toStdString();
        return QJsonDocument::fromJson(ran.out.toUtf8()).object().value(QString::fromLatin1(key));
    }

    bool holdLockWith(const char* why) {
        const auto locks = logindInhibitors(buses.systemBus());
        return std::any_of(locks.begin(), locks.end(), [&](const auto& lock) { return lock.why.contains(why); });
    }

    MockBuses buses;
    staywake::testing::TemporaryDirectory home{"staywakectl-home"};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess app;
};

TEST_F(StaywakectlTest, DrivesTheSessionListsTheLocksRefusesWrongCallsAndHoldsWhileACommandRuns) {
    startApp(buses);
    QProcess monitor;
    monitor.start(QStringLiteral("dbus-monitor"), {"--address", QString::fromStdString(buses.sessionAddress()),
                                                   "type='signal',member='PropertiesChanged'"});
    ASSERT_TRUE(waitUntil([&] { return monitor.bytesAvailable() > 0 || monitor.waitForReadyRead(100); }));
    ASSERT_EQ(ctl({"on", "--for", "10m"}).status, 0);
    QByteArray announced;
    EXPECT_TRUE(waitUntil([&] { return (announced += monitor.readAll()).contains("string \"ActiveUntil\""); }));
    EXPECT_TRUE(announced.contains("string \"Status\"")) << announced.toStdString();
    monitor.kill();
    monitor.waitForFinished();

    EXPECT_TRUE(status("IsOn").toBool());
    EXPECT_NEAR(status("ActiveUntil").toDouble(), double(QDateTime::currentSecsSinceEpoch() + 600), 30.0);
    EXPECT_EQ(status("Status").toString(), QStringLiteral("Staywake, on, 9 minutes left"));

    QProcess desktop;
    desktop.setProcessEnvironment(environment);
    desktop.start(QStringLiteral("/usr/bin/python3"),
                  {"-m", "dbusmock", "--template", STAYWAKE_GNOME_SESSION_MOCK});
    ASSERT_TRUE(waitUntil([this] { return named(buses, "org.gnome.SessionManager"); }));
    const Ran listed = ctl({"inhibitors"});
    desktop.terminate();
    desktop.waitForFinished();
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    EXPECT_TRUE(
        listed.out.contains(QRegularExpression(QStringLiteral("Staywake\\t[^\\n]*\\tidle\\tblock\\t[0-9]+"))))
        << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains(
        QStringLiteral("org.gnome.Totem\tPlaying a film\tsuspend:idle\tblock\tdesktop session\n")))
        << listed.out.toStdString();

    ASSERT_EQ(ctl({"off"}).status, 0);
    const std::pair<const char*, QVariant> refused[] = {{"TurnOn", -1.0}, {"TurnOnUntil", qlonglong(1000)}};
    for (const auto& [method, argument] : refused) {
        auto message = QDBusMessage::createMethodCall("com.staywake.app", "/com/staywake/app", "com.staywake.App1",
                                                      QString::fromLatin1(method));
        message.setArguments({argument});
        EXPECT_EQ(buses.sessionBus().call(message, QDBus::Block, 20000).type(), QDBusMessage::ErrorMessage)
            << method;
    }
    EXPECT_FALSE(status("IsRequested").toBool());

    auto run = startCtl({"run", "--why", "nightly backup", "--", "sh", "-c", "sleep 2; exit 3"});
    EXPECT_TRUE(waitUntil([&] { return holdLockWith("nightly backup"); }));
    EXPECT_EQ(status("Holds").toArray().size(), 1);
    EXPECT_FALSE(status("IsRequested").toBool()) << "a hold is no session of the user's";
    ASSERT_TRUE(run->waitForFinished(30000));
    EXPECT_EQ(run->exitCode(), 3);
    EXPECT_TRUE(waitUntil([&] { return !holdLockWith("nightly backup"); }));
    EXPECT_TRUE(status("Holds").toArray().isEmpty());

    // The command ends by itself once staywakectl is gone (it may be gone before the shell starts).
    run = startCtl({"run", "--", "sh", "-c",
                    "for i in $(seq 300); do [ $PPID != 1 ] && kill -0 $PPID || exit; sleep 0.1; done"});
    ASSERT_TRUE(waitUntil([&] { return holdLockWith("Kept awake for"); }));
    ::kill(pid_t(run->processId()), SIGKILL);
    run->waitForFinished();
    EXPECT_TRUE(waitUntil([&] { return !holdLockWith("Kept awake for"); }));
}

TEST_F(StaywakectlTest, FailsInOneLineWithoutTheAppOrItsBusForAWrongLineOrAHoldTheSystemRefuses) {
    // With neither logind nor the portal there is no lock to take: the hold is
    // refused and must not stay behind, counted against its connection forever.
    MockBuses bare{MockBuses::Options{.logind = false, .upower = false, .portal = false}};
    STAYWAKE_REQUIRE_BUSES(bare);
    const QString noBus = QStringLiteral("unix:path=/nonexistent/staywake-test-bus");
    const struct {
        QString bus; // empty: the bare buses, the app started on them
        QStringList arguments;
        int status;
        QString says;
    } cases[] = {
        {QString::fromStdString(bare.sessionAddress()), {"status"}, 1, "Staywake is not running"},
        {noBus, {"status"}, 1, "no session bus"},
        {noBus, {"run", "ls"}, 2, "staywakectl: run needs -- and the command to run (see staywakectl --help)"},
        {{}, {"run", "--", "true"}, 1, "The system refused to keep the computer awake"},
    };
    for (const auto& c : cases) {
        if (c.bus.isEmpty()) {
            startApp(bare);
        }
        const Ran ran = ctl(c.arguments, c.bus);
        EXPECT_EQ(ran.status, c.status) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(ran.err.count('\n'), 1) << ran.err.toStdString();
        EXPECT_TRUE(ran.err.contains(c.says)) << ran.err.toStdString();
        EXPECT_TRUE(ran.out.isEmpty()) << ran.out.toStdString();
    }
    EXPECT_TRUE(status("Holds").toArray().isEmpty());
}

} // namespace
} // namespace staywake
