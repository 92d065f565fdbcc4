#include "MockBuses.h"
#include "Staywake/System/InhibitSleepBlocker.h"
#include "StaywakeCore/Awake/SleepBlocker.h"
#include "Support/TestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>

namespace staywake {
namespace {

using testing::logindInhibitors;
using testing::MockBuses;
using testing::portalInhibitions;
using testing::waitUntil;

const QString reason = QStringLiteral("Staywake is keeping this computer awake");

#define REQUIRE_BUSES(buses)                                                                                      \
    do {                                                                                                          \
        if ((buses).isMissingATool()) {                                                                           \
            STAYWAKE_SKIP((buses).failure().toStdString());                                                       \
        }                                                                                                         \
        ASSERT_TRUE((buses).failure().isEmpty()) << (buses).failure().toStdString();                              \
    } while (false)

bool holdsExactlyTheIdleLock(const QDBusConnection& systemBus) {
    const auto locks = logindInhibitors(systemBus);
    return locks.size() == 1 && locks[0].what == QStringLiteral("idle") &&
           locks[0].who == QStringLiteral("Staywake") && locks[0].why == reason &&
           locks[0].mode == QStringLiteral("block");
}

std::size_t activePortalInhibitions(const QDBusConnection& sessionBus) {
    std::size_t active = 0;
    for (const auto& inhibition : portalInhibitions(sessionBus)) {
        active += inhibition.active ? 1 : 0;
    }
    return active;
}

bool holdsNoLock(const MockBuses& buses) {
    return waitUntil([&] {
        return logindInhibitors(buses.systemBus()).empty() && activePortalInhibitions(buses.sessionBus()) == 0;
    });
}

/// The code engaging throws with; nothing when it engages.
std::optional<std::int32_t> failureCode(InhibitSleepBlocker& blocker) {
    try {
        blocker.engage();
    } catch (const SleepBlockerError& error) {
        return error.code();
    }
    return std::nullopt;
}

TEST(InhibitSleepBlocker, HoldsOneIdleLockAndOneSuspendInhibitionUntilReleasedOrDestroyedNotInAChild) {
    MockBuses buses;
    REQUIRE_BUSES(buses);
    std::optional<InhibitSleepBlocker> blocker(std::in_place, buses.sessionBus(), buses.systemBus(), reason);
    EXPECT_FALSE(blocker->isEngaged());
    blocker->engage();
    blocker->engage();
    EXPECT_TRUE(blocker->isEngaged());
    EXPECT_TRUE(holdsExactlyTheIdleLock(buses.systemBus()));
    const auto inhibitions = portalInhibitions(buses.sessionBus());
    ASSERT_EQ(inhibitions.size(), 1u) << "a second engage asked the portal again";
    EXPECT_EQ(inhibitions[0].flags, 4u);
    EXPECT_EQ(inhibitions[0].reason, reason);
    EXPECT_EQ(inhibitions[0].sender, buses.sessionBus().baseService());

    // A child started while the lock is held must not keep it.
    pid_t child = 0;
    char program[] = "/bin/sleep";
    char seconds[] = "60";
    char* arguments[] = {program, seconds, nullptr};
    ASSERT_EQ(::posix_spawn(&child, program, nullptr, nullptr, arguments, environ), 0);
    blocker->release();
    blocker->release();
    EXPECT_FALSE(blocker->isEngaged());
    EXPECT_TRUE(holdsNoLock(buses)) << "the lock lives on in a child process";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    blocker->engage();
    EXPECT_TRUE(holdsExactlyTheIdleLock(buses.systemBus())) << "engaging after a release takes fresh locks";
    EXPECT_EQ(activePortalInhibitions(buses.sessionBus()), 1u);
    blocker.reset();
    EXPECT_TRUE(holdsNoLock(buses)) << "destruction drops both";
}

TEST(InhibitSleepBlocker, TakesWhateverLockItCanAndThrowsTheDocumentedCodeWhenItGetsNone) {
    enum class Service { running, missing, refusing, answeringNonsense };
    const struct {
        const char* name;
        Service logind;
        Service portal;
        std::optional<std::int32_t> code; // absent: engages
        bool logindLock;
    } cases[] = {
        {"logind refuses, no portal", Service::refusing, Service::missing, -42, false},
        {"neither runs", Service::missing, Service::missing, -22, false},
        {"no logind, the portal refuses", Service::missing, Service::refusing, -24, false},
        {"logind refuses, the portal answers nonsense", Service::refusing, Service::answeringNonsense, -46, false},
        {"logind refuses, the portal inhibits", Service::refusing, Service::running, std::nullopt, false},
        {"logind locks, no portal", Service::running, Service::missing, std::nullopt, true},
    };
    const QString refuse = QStringLiteral("raise dbus.exceptions.DBusException('Permission denied', "
                                          "name='org.freedesktop.DBus.Error.AccessDenied')");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MockBuses buses({.logind = c.logind != Service::missing, .portal = c.portal != Service::missing});
        REQUIRE_BUSES(buses);
        if (c.logind == Service::refusing) {
            buses.controlMock(buses.systemBus(), QStringLiteral("org.freedesktop.login1"),
                              QStringLiteral("/org/freedesktop/login1"), QStringLiteral("AddMethod"),
                              {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"),
                               QStringLiteral("ssss"), QStringLiteral("h"), refuse});
        }
        if (c.portal == Service::refusing || c.portal == Service::answeringNonsense) {
            buses.controlMock(buses.sessionBus(), QStringLiteral("org.freedesktop.portal.Desktop"),
                              QStringLiteral("/org/freedesktop/portal/desktop"), QStringLiteral("AddMethod"),
                              {QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"),
                               QStringLiteral("sua{sv}"), QStringLiteral("o"),
                               c.portal == Service::refusing ? refuse : QStringLiteral("ret = '/'")});
        }
        InhibitSleepBlocker blocker(buses.sessionBus(), buses.systemBus(), reason);
        EXPECT_EQ(failureCode(blocker), c.code);
        EXPECT_EQ(blocker.isEngaged(), !c.code);
        if (c.logind != Service::missing) {
            EXPECT_EQ(holdsExactlyTheIdleLock(buses.systemBus()), c.logindLock);
        }
    }

    const QDBusConnection notConnected(QStringLiteral("staywake-test-never-connected"));
    InhibitSleepBlocker withoutBus(notConnected, notConnected, reason);
    EXPECT_EQ(failureCode(withoutBus), -11);
    EXPECT_FALSE(withoutBus.isEngaged());
}

} // namespace
} // namespace staywake
