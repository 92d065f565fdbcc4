// logind and the desktop portal restarted under an engaged sleep blocker: the
// lock died with the old service, and a new one must be taken from the new.
#include "Staywake/System/InhibitSleepBlocker.h"
#include "Staywake/System/MockBuses.h"
#include "Support/TestSupport.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace staywake {
namespace {

using testing::MockBuses;
using testing::waitUntil;

std::size_t activeInhibitions(const QDBusConnection& sessionBus) {
    std::size_t active = 0;
    for (const auto& inhibition : testing::portalInhibitions(sessionBus)) {
        active += inhibition.active ? 1 : 0;
    }
    return active;
}

TEST(SleepLockFaults, AServiceThatRestartsIsAskedAgainForTheLockThatDiedWithIt) {
    MockBuses buses;
    if (buses.isMissingATool()) {
        STAYWAKE_SKIP(buses.failure().toStdString());
    }
    ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
    InhibitSleepBlocker blocker(buses.sessionBus(), buses.systemBus(),
                                QStringLiteral("Staywake is keeping this computer awake"));
    blocker.engage();

    struct Row {
        const char* figure;
        QDBusConnection bus;
        QString service;
        const char* mock;
        std::function<std::size_t()> locks; // what the service holds now
    };
    const Row rows[] = {
        {"relock-after-logind-restart", buses.systemBus(), QStringLiteral("org.freedesktop.login1"),
         "logind_inhibit.py", [&] { return testing::logindInhibitors(buses.systemBus()).size(); }},
        {"reinhibit-after-portal-restart", buses.sessionBus(), QStringLiteral("org.freedesktop.portal.Desktop"),
         "xdg_portal_inhibit.py", [&] { return activeInhibitions(buses.sessionBus()); }},
    };
    std::vector<std::unique_ptr<QProcess>> restarted;
    for (const auto& row : rows) {
        ASSERT_EQ(row.locks(), 1u) << row.figure;
        const uint pid = row.bus.interface()->servicePid(row.service);
        ASSERT_GT(pid, 0u);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        ASSERT_TRUE(waitUntil([&] { return !row.bus.interface()->isServiceRegistered(row.service).value(); }));

        auto& service = restarted.emplace_back(std::make_unique<QProcess>());
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), buses.systemAddress());
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), buses.sessionAddress());
        service->setProcessEnvironment(environment);
        QElapsedTimer started;
        started.start();
        service->start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                        QStringLiteral(STAYWAKE_SYSTEM_TESTS "/") + QString::fromLatin1(row.mock),
                        row.bus.name() == buses.systemBus().name() ? QStringLiteral("--system")
                                                                   : QStringLiteral("--session")});
        ASSERT_TRUE(waitUntil([&] { return row.locks() == 1; }))
            << row.figure << ": nothing taken from the new service";
        std::printf("FIGURE %s %.3f s from the new service's start\n", row.figure,
                    static_cast<double>(started.elapsed()) / 1000);
        EXPECT_TRUE(blocker.isEngaged());
    }
    blocker.release();
    EXPECT_TRUE(waitUntil([&] { return rows[0].locks() == 0 && rows[1].locks() == 0; }));
}

} // namespace
} // namespace staywake
