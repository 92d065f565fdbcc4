// logind and the desktop portal restarted under an engaged sleep blocker: the
// lock died with the old service, and a new one must be taken from the new.
#include "Staywake/System/InhibitSleepBlocker.h"
#include "Support/ChildProcess.h"
#include "Support/MockBusLauncher.h"
#include "Support/TestSupport.h"

#include <QDBusConnectionInterface>
#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace staywake {
namespace {

using testing::waitUntil;

TEST(SleepLockFaults, AServiceThatRestartsIsAskedAgainForTheLockThatDiedWithIt) {
    testing::MockBuses buses;
    if (buses.isMissingATool()) {
        STAYWAKE_SKIP(buses.failure());
    }
    ASSERT_TRUE(buses.failure().empty()) << buses.failure();
    InhibitSleepBlocker blocker(buses.sessionBus(), buses.systemBus(),
                                QStringLiteral("Staywake is keeping this computer awake"));
    blocker.engage();

    const struct {
        const char* figure;
        QDBusConnection bus;
        const char* service;
        const char* mock;
        std::function<std::size_t()> locks; // what the service holds now
    } rows[] = {
        {"relock-after-logind-restart", buses.systemBus(), "org.freedesktop.login1", "logind_inhibit.py",
         [&] { return testing::logindInhibitors(buses.systemBus()).size(); }},
        {"reinhibit-after-portal-restart", buses.sessionBus(), "org.freedesktop.portal.Desktop",
         "xdg_portal_inhibit.py",
         [&] {
             return static_cast<std::size_t>(std::ranges::count_if(testing::portalInhibitions(buses.sessionBus()),
                                                                   [](const auto& i) { return i.active; }));
         }},
    };
    testing::ChildOptions options;
    options.environment = {"DBUS_SYSTEM_BUS_ADDRESS=" + buses.systemAddress(),
                           "DBUS_SESSION_BUS_ADDRESS=" + buses.sessionAddress()};
    options.outputFile = "/dev/null";
    std::vector<std::unique_ptr<testing::ChildProcess>> restarted;
    for (const auto& row : rows) {
        ASSERT_EQ(row.locks(), 1u) << row.figure;
        const QString service = QString::fromLatin1(row.service);
        ::kill(static_cast<pid_t>(row.bus.interface()->servicePid(service).value()), SIGKILL);
        ASSERT_TRUE(waitUntil([&] { return !row.bus.interface()->isServiceRegistered(service).value(); }));

        const auto started = std::chrono::steady_clock::now();
        restarted.push_back(std::make_unique<testing::ChildProcess>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--template",
                                     std::string(STAYWAKE_SYSTEM_TESTS "/") + row.mock,
                                     row.bus.name() == buses.systemBus().name() ? "--system" : "--session"},
            options));
        ASSERT_TRUE(waitUntil([&] { return row.locks() == 1; }))
            << row.figure << ": nothing taken from the new service";
        std::printf("FIGURE %s %.3f s from the new service's start\n", row.figure,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        EXPECT_TRUE(blocker.isEngaged());
    }
    blocker.release();
    EXPECT_TRUE(waitUntil([&] { return rows[0].locks() == 0 && rows[1].locks() == 0; }));
}

} // namespace
} // namespace staywake
