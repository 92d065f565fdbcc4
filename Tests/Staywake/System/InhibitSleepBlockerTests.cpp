#include "MockBuses.h"
#include "Staywake/System/InhibitSleepBlocker.h"
#include "StaywakeCore/Awake/SleepBlocker.h"
#include "Support/TestSupport.h"

#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace staywake {
namespace {

using testing::logindInhibitors;
using testing::MockBuses;
using testing::portalInhibitions;
using testing::waitUntil;

const QString reason = QStringLiteral("Staywake is keeping this computer awake");
const QString logindService = QStringLiteral("org.freedesktop.login1");
const QString logindPath = QStringLiteral("/org/freedesktop/login1");
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");

#define REQUIRE_BUSES(buses)                                                                                 \
    do {                                                                                                     \
        if ((buses).isMissingATool()) {                                                                      \
            STAYWAKE_SKIP((buses).failure().toStdString());                                                  \
        }                                                                                                    \
        ASSERT_TRUE((buses).failure().isEmpty()) << (buses).failure().toStdString();                         \
    } while (false)

bool holdsExactlyTheIdleLock(const QDBusConnection& systemBus) {
    const auto locks = logindInhibitors(systemBus);
    return locks.size() == 1 && locks[0].what == QStringLiteral("idle") &&
           locks[0].who == QStringLiteral("Staywake") && locks[0].why == reason &&
           locks[0].mode == QStringLiteral("block");
}

bool activePortalInhibitions(const QDBusConnection& sessionBus, std::size_t count) {
    std::size_t active = 0;
    for (const auto& inhibition : portalInhibitions(sessionBus)) {
        active += inhibition.active ? 1 : 0;
    }
    return active == count;
}

void replaceMockMethod(const MockBuses& buses, const QDBusConnection& bus, const QString& service,
                       const QString& path, const QString& interface, const QString& method,
                       const QString& inSignature, const QString& outSignature, const QString& code) {
    const auto reply = buses.controlMock(bus, service, path, QStringLiteral("AddMethod"),
                                         {interface, method, inSignature, outSignature, code});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
}

const QString refuse = QStringLiteral("raise dbus.exceptions.DBusException('Permission denied', "
                                      "name='org.freedesktop.DBus.Error.AccessDenied')");

struct InhibitSleepBlockerTest : ::testing::Test {
    MockBuses buses;
    void SetUp() override { REQUIRE_BUSES(buses); }
};

TEST_F(InhibitSleepBlockerTest, EngagingTakesOneIdleLockAndOneSuspendInhibitionAndReleasingDropsBoth) {
    InhibitSleepBlocker blocker(buses.sessionBus(), buses.systemBus(), reason);
    EXPECT_FALSE(blocker.isEngaged());

    blocker.engage();
    EXPECT_TRUE(blocker.isEngaged());
    EXPECT_TRUE(holdsExactlyTheIdleLock(buses.systemBus()));
    auto inhibitions = portalInhibitions(buses.sessionBus());
    ASSERT_EQ(inhibitions.size(), 1u);
    EXPECT_EQ(inhibitions[0].flags, 4u);
    EXPECT_EQ(inhibitions[0].reason, reason);
    EXPECT_EQ(inhibitions[0].sender, buses.sessionBus().baseService());
    EXPECT_TRUE(inhibitions[0].active);

    blocker.engage();
    EXPECT_TRUE(holdsExactlyTheIdleLock(buses.systemBus())) << "a second engage took another lock";
    EXPECT_EQ(portalInhibitions(buses.sessionBus()).size(), 1u) << "a second engage asked the portal again";

    blocker.release();
    EXPECT_FALSE(blocker.isEngaged());
    EXPECT_TRUE(waitUntil([&] { return logindInhibitors(buses.systemBus()).empty(); }));
    EXPECT_TRUE(waitUntil([&] { return activePortalInhibitions(buses.sessionBus(), 0); }));
    blocker.release();

    // Engaging again after a release takes fresh locks.
    blocker.engage();
    EXPECT_TRUE(holdsExactlyTheIdleLock(buses.systemBus()));
    EXPECT_TRUE(activePortalInhibitions(buses.sessionBus(), 1));
}

TEST_F(InhibitSleepBlockerTest, DestructionDropsBothLocks) {
    {
        InhibitSleepBlocker blocker(buses.sessionBus(), buses.systemBus(), reason);
        blocker.engage();
        ASSERT_TRUE(holdsExactlyTheIdleLock(buses.systemBus()));
    }
    EXPECT_TRUE(waitUntil([&] { return logindInhibitors(buses.systemBus()).empty(); }));
    EXPECT_TRUE(waitUntil([&] { return activePortalInhibitions(buses.sessionBus(), 0); }));
}

TEST_F(InhibitSleepBlockerTest, AChildProcessDoesNotInheritTheLock) {
    InhibitSleepBlocker blocker(buses.sessionBus(), buses.systemBus(), reason);
    blocker.engage();

    pid_t child = 0;
    char program[] = "/bin/sleep";
    char seconds[] = "60";
    char* arguments[] = {program, seconds, nullptr};
    ASSERT_EQ(::posix_spawn(&child, program, nullptr, nullptr, arguments, environ), 0);

    blocker.release();
    EXPECT_TRUE(waitUntil([&] { return logindInhibitors(buses.systemBus()).empty(); }))
        << "the lock lives on in a child process";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST_F(InhibitSleepBlockerTest, AProcessKilledWhileEngagedLeavesNoLock) {
    QProcess holder;
    holder.start(QStringLiteral(STAYWAKE_INHIBIT_HOLDER),
                 {buses.systemAddress(), buses.sessionAddress(), reason});
    ASSERT_TRUE(holder.waitForStarted(20000));
    ASSERT_TRUE(waitUntil([&] { return holder.canReadLine() || holder.state() == QProcess::NotRunning; }));
    ASSERT_EQ(holder.readLine().trimmed(), QByteArray("engaged"))
        << holder.readAllStandardError().toStdString();
    EXPECT_TRUE(holdsExactlyTheIdleLock(buses.systemBus()));
    EXPECT_TRUE(activePortalInhibitions(buses.sessionBus(), 1));

    holder.kill(); // SIGKILL: nothing in the process runs any more
    ASSERT_TRUE(holder.waitForFinished(20000));
    EXPECT_EQ(holder.exitStatus(), QProcess::CrashExit);

    EXPECT_TRUE(waitUntil([&] { return logindInhibitors(buses.systemBus()).empty(); }));
    EXPECT_TRUE(waitUntil([&] { return activePortalInhibitions(buses.sessionBus(), 0); }));
}

TEST(InhibitSleepBlocker, TakesWhateverLockItCanAndThrowsTheDocumentedCodeWhenItGetsNone) {
    using LockFailure = InhibitSleepBlocker::LockFailure;
    enum class Service { running, missing, refusing, answeringNonsense };
    struct Case {
        const char* name;
        Service logind;
        Service portal;
        std::optional<std::int32_t> code; // absent: engages
        bool logindLock;
    };
    const Case cases[] = {
        {"logind refuses, no portal", Service::refusing, Service::missing, -42, false},
        {"neither runs", Service::missing, Service::missing, -22, false},
        {"no logind, the portal refuses", Service::missing, Service::refusing, -24, false},
        {"logind refuses, the portal answers nonsense", Service::refusing, Service::answeringNonsense, -46,
         false},
        {"logind refuses, the portal inhibits", Service::refusing, Service::running, std::nullopt, false},
        {"logind locks, no portal", Service::running, Service::missing, std::nullopt, true},
    };
    static_assert(InhibitSleepBlocker::failureCode(LockFailure::refused, LockFailure::serviceMissing) == -42);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MockBuses::Options options;
        options.logind = c.logind != Service::missing;
        options.portal = c.portal != Service::missing;
        MockBuses buses(options);
        REQUIRE_BUSES(buses);
        if (c.logind == Service::refusing) {
            replaceMockMethod(buses, buses.systemBus(), logindService, logindPath,
                              QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"),
                              QStringLiteral("ssss"), QStringLiteral("h"), refuse);
        }
        if (c.portal == Service::refusing || c.portal == Service::answeringNonsense) {
            replaceMockMethod(buses, buses.sessionBus(), portalService, portalPath,
                              QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"),
                              QStringLiteral("sua{sv}"), QStringLiteral("o"),
                              c.portal == Service::refusing ? refuse : QStringLiteral("ret = '/'"));
        }

        InhibitSleepBlocker blocker(buses.sessionBus(), buses.systemBus(), reason);
        if (c.code) {
            try {
                blocker.engage();
                ADD_FAILURE() << "engaged";
            } catch (const SleepBlockerError& error) {
                EXPECT_EQ(error.code(), *c.code);
            }
            EXPECT_FALSE(blocker.isEngaged());
        } else {
            EXPECT_NO_THROW(blocker.engage());
            EXPECT_TRUE(blocker.isEngaged());
        }
        if (c.logind != Service::missing) {
            EXPECT_EQ(holdsExactlyTheIdleLock(buses.systemBus()), c.logindLock);
        }
    }
}

TEST(InhibitSleepBlocker, WithoutAnyBusTheCodeSaysSo) {
    const QDBusConnection notConnected(QStringLiteral("staywake-test-never-connected"));
    InhibitSleepBlocker blocker(notConnected, notConnected, reason);
    try {
        blocker.engage();
        FAIL() << "engaged";
    } catch (const SleepBlockerError& error) {
        EXPECT_EQ(error.code(), -11);
    }
    EXPECT_FALSE(blocker.isEngaged());
    blocker.release();
}

} // namespace
} // namespace staywake
