#include "Staywake/System/InhibitSleepBlocker.h"
#include "StaywakeCore/Awake/SleepBlocker.h"
#include "Support/MockBusLauncher.h"

#include <QProcess>
#include <algorithm>
#include <optional>

namespace staywake {
namespace {

using testing::logindInhibitors;
using testing::MockBuses;
using testing::portalInhibitions;
using testing::waitUntil;

const QString reason = QStringLiteral("Staywake is keeping this computer awake");

bool holdsExactlyTheIdleLock(const MockBuses& buses) {
    const auto locks = logindInhibitors(buses.systemBus());
    return locks.size() == 1 && locks[0].what == "idle" && locks[0].who == "Staywake" && locks[0].why == reason &&
           locks[0].mode == "block";
}

std::size_t activePortalInhibitions(const MockBuses& buses) {
    const auto all = portalInhibitions(buses.sessionBus());
    return std::count_if(all.begin(), all.end(), [](const auto& inhibition) { return inhibition.active; });
}

bool holdsNoLock(const MockBuses& buses) {
    return waitUntil(
        [&] { return logindInhibitors(buses.systemBus()).empty() && activePortalInhibitions(buses) == 0; });
}

TEST(InhibitSleepBlocker, HoldsOneIdleLockAndOneSuspendInhibitionUntilReleasedOrDestroyedNotInAChild) {
    MockBuses buses;
    STAYWAKE_REQUIRE_BUSES(buses);
    std::optional<InhibitSleepBlocker> blocker(std::in_place, buses.sessionBus(), buses.systemBus(), reason);
    blocker->engage();
    blocker->engage();
    EXPECT_TRUE(blocker->isEngaged());
    EXPECT_TRUE(holdsExactlyTheIdleLock(buses));
    const auto inhibitions = portalInhibitions(buses.sessionBus());
    ASSERT_EQ(inhibitions.size(), 1u) << "a second engage asked the portal again";
    EXPECT_EQ(inhibitions[0].flags, 4u) << "suspend";
    EXPECT_EQ(inhibitions[0].reason, reason);

    QProcess child; // started while the lock is held, it must not keep it
    child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(child.waitForStarted());
    blocker->release();
    EXPECT_FALSE(blocker->isEngaged());
    EXPECT_TRUE(holdsNoLock(buses)) << "the lock lives on in a child process";
    child.kill();
    child.waitForFinished();

    blocker->engage();
    EXPECT_TRUE(holdsExactlyTheIdleLock(buses)) << "engaging after a release takes fresh locks";
    EXPECT_EQ(activePortalInhibitions(buses), 1u);
    blocker.reset();
    EXPECT_TRUE(holdsNoLock(buses)) << "destruction drops both";
}

TEST(InhibitSleepBlocker, OnceThePortalInhibitedKeepsLogindsLockWhenItComesUnlessReleasedFirst) {
    MockBuses buses;
    STAYWAKE_REQUIRE_BUSES(buses);
    // logind holds every answer back this long.
    constexpr auto logindDelay = std::chrono::milliseconds(1500);
    buses.control("org.freedesktop.login1", "/org/freedesktop/login1", {"SetInhibitDelay", "d", "1.5"});
    InhibitSleepBlocker kept(buses.sessionBus(), buses.systemBus(), reason);
    const auto asked = std::chrono::steady_clock::now();
    kept.engage();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, logindDelay * 2 / 3) << "engage waited for logind";
    EXPECT_TRUE(kept.isEngaged());
    EXPECT_EQ(activePortalInhibitions(buses), 1u);
    EXPECT_TRUE(waitUntil([&] { return holdsExactlyTheIdleLock(buses); })) << "the late lock was not kept";

    // A blocker released before its answer comes holds nothing once it has
    // come. logind answers in order, so when the answer of a blocker engaged
    // after it is in, only that one's lock and the first's are held.
    InhibitSleepBlocker dropped(buses.sessionBus(), buses.systemBus(), reason);
    InhibitSleepBlocker later(buses.sessionBus(), buses.systemBus(), QStringLiteral("later"));
    dropped.engage();
    dropped.release();
    later.engage();
    EXPECT_EQ(activePortalInhibitions(buses), 2u) << "blockers on one connection share a portal request";
    const auto reasons = [&] {
        QStringList held;
        for (const auto& lock : logindInhibitors(buses.systemBus())) {
            held << lock.why;
        }
        held.sort();
        return held;
    };
    EXPECT_TRUE(waitUntil([&] {
        return reasons() == QStringList{reason, QStringLiteral("later")};
    })) << "a released blocker kept its lock: "
        << reasons().join(u',').toStdString();
}

TEST(InhibitSleepBlocker, TakesWhateverLockItCanAndThrowsTheDocumentedCodeWhenItGetsNone) {
    enum class Service { running, missing, refusing, answeringNonsense };
    const struct {
        const char* name;
        Service logind;
        Service portal;
        std::optional<std::int32_t> code; // absent: engages
    } cases[] = {
        {"logind refuses, no portal", Service::refusing, Service::missing, -42},
        {"neither runs", Service::missing, Service::missing, -22},
        {"no logind, the portal refuses", Service::missing, Service::refusing, -24},
        {"logind refuses, the portal answers nonsense", Service::refusing, Service::answeringNonsense, -46},
        {"logind refuses, the portal inhibits", Service::refusing, Service::running, std::nullopt},
        {"logind locks, no portal", Service::running, Service::missing, std::nullopt},
        {"no bus at all", Service::missing, Service::missing, -11},
    };
    const QString refuse = QStringLiteral("raise dbus.exceptions.DBusException('Permission denied', "
                                          "name='org.freedesktop.DBus.Error.AccessDenied')");
    for (const auto& c : cases) {
        MockBuses buses({.logind = c.logind != Service::missing, .portal = c.portal != Service::missing});
        STAYWAKE_REQUIRE_BUSES(buses);
        if (c.logind == Service::refusing) {
            buses.controlMock(buses.systemBus(), "org.freedesktop.login1", "/org/freedesktop/login1", "AddMethod",
                              {"org.freedesktop.login1.Manager", "Inhibit", "ssss", "h", refuse});
        }
        if (c.portal == Service::refusing || c.portal == Service::answeringNonsense) {
            buses.controlMock(buses.sessionBus(), "org.freedesktop.portal.Desktop",
                              "/org/freedesktop/portal/desktop", "AddMethod",
                              {"org.freedesktop.portal.Inhibit", "Inhibit", "sua{sv}", "o",
                               c.portal == Service::refusing ? refuse : QStringLiteral("ret = '/'")});
        }
        const QDBusConnection none(QStringLiteral("staywake-test-never-connected"));
        const bool noBus = c.code == -11;
        InhibitSleepBlocker blocker(noBus ? none : buses.sessionBus(), noBus ? none : buses.systemBus(), reason);
        std::optional<std::int32_t> code;
        try {
            blocker.engage();
        } catch (const SleepBlockerError& error) {
            code = error.code();
        }
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(blocker.isEngaged(), !c.code) << c.name;
        EXPECT_EQ(holdsExactlyTheIdleLock(buses), c.logind == Service::running) << c.name;
    }
}

} // namespace
} // namespace staywake
