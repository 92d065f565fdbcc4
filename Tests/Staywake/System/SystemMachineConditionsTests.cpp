#include "MockBuses.h"
#include "Staywake/System/DrmDisplayList.h"
#include "Staywake/System/SystemMachineConditions.h"
#include "Staywake/System/SystemMachineConditionsNotifier.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <QDBusVariant>
#include <QGuiApplication>
#include <QScreen>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::MockBuses;
using testing::runEventsFor;
using testing::waitUntil;

class FakeSysfs {
public:
    const fs::path& root() const { return folder_.path(); }
    fs::path drm() const { return root() / "class" / "drm"; }

    /// A connector folder with its status file, as the kernel writes it.
    void connector(const std::string& name, const std::string& status) const {
        fs::create_directories(drm() / name);
        std::ofstream(drm() / name / "status") << status << "\n";
    }

private:
    testing::TemporaryDirectory folder_{"staywake-sysfs"};
};

const QDBusConnection& noBus() {
    static const QDBusConnection connection(QStringLiteral("staywake-test-never-connected"));
    return connection;
}

TEST(SystemMachineConditions, ReadsTheDisplaysFromTheDrmConnectors) {
    using Connectors = std::map<std::string, std::string>;
    struct Case {
        const char* name;
        Connectors connectors;
        std::optional<std::vector<bool>> builtIn;
        bool external;
    };
    const Case cases[] = {
        {"built-in panel only",
         {{"card0-eDP-1", "connected"}, {"card0-HDMI-A-1", "disconnected"}},
         std::vector<bool>{true},
         false},
        {"built-in and external",
         {{"card0-eDP-1", "connected"}, {"card0-HDMI-A-1", "connected"}},
         std::vector<bool>{false, true},
         true},
        {"external only, lid closed",
         {{"card0-eDP-1", "disconnected"}, {"card1-DP-2", "connected"}},
         std::vector<bool>{false},
         true},
        {"nothing connected",
         {{"card0-eDP-1", "disconnected"}, {"card0-DP-1", "disconnected"}},
         std::vector<bool>{},
         false},
        {"no connectors at all", {}, std::vector<bool>{}, false},
        {"disconnected and unknown are no displays",
         {{"card0-LVDS-1", "connected"},
          {"card0-VGA-1", "unknown"},
          {"card0-DP-1", "disconnected"},
          {"card0-Writeback-1", "unknown"}},
         std::vector<bool>{true},
         false},
        {"every built-in kind",
         {{"card0-eDP-1", "connected"}, {"card0-LVDS-1", "connected"}, {"card1-DSI-1", "connected"}},
         std::vector<bool>{true, true, true},
         false},
        {"card numbers compared as numbers",
         {{"card10-DP-1", "connected"}, {"card2-eDP-1", "connected"}},
         std::vector<bool>{true, false},
         true},
    };
    for (const auto& c : cases) {
        FakeSysfs sysfs;
        fs::create_directories(sysfs.drm());
        // Entries that are not connectors sit beside them in the real folder.
        fs::create_directories(sysfs.drm() / "card0");
        fs::create_directories(sysfs.drm() / "renderD128");
        std::ofstream(sysfs.drm() / "version") << "drm 1.1.0 20060810\n";
        for (const auto& [name, status] : c.connectors) {
            sysfs.connector(name, status);
        }
        EXPECT_EQ(DrmDisplayList::onlineDisplaysBuiltIn(sysfs.root()), c.builtIn) << c.name;
        EXPECT_EQ(SystemMachineConditions(noBus(), sysfs.root()).hasExternalDisplay(), c.external) << c.name;
    }
}

TEST(SystemMachineConditions, AssumesAnExternalDisplayWhenTheConnectorsCannotBeRead) {
    FakeSysfs missing; // no class/drm at all

    FakeSysfs notAFolder;
    fs::create_directories(notAFolder.drm().parent_path());
    std::ofstream(notAFolder.drm()) << "not a folder\n";

    // Root reads anything, so the unreadable status is a folder, not a mode.
    FakeSysfs unreadableStatus;
    unreadableStatus.connector("card0-eDP-1", "connected");
    fs::create_directories(unreadableStatus.drm() / "card0-HDMI-A-1" / "status");

    for (const FakeSysfs* sysfs : {&missing, &notAFolder, &unreadableStatus}) {
        EXPECT_EQ(DrmDisplayList::onlineDisplaysBuiltIn(sysfs->root()), std::nullopt) << sysfs->root();
        EXPECT_TRUE(SystemMachineConditions(noBus(), sysfs->root()).hasExternalDisplay()) << sysfs->root();
    }
}

TEST(SystemMachineConditions, ConsidersOnlyTheFirst32Displays) {
    FakeSysfs sysfs;
    for (int card = 0; card < 32; ++card) {
        sysfs.connector("card" + std::to_string(card) + "-eDP-1", "connected");
    }
    sysfs.connector("card32-HDMI-A-1", "connected"); // the 33rd display comes last

    const auto builtIn = DrmDisplayList::onlineDisplaysBuiltIn(sysfs.root());
    ASSERT_TRUE(builtIn.has_value());
    EXPECT_EQ(builtIn->size(), 32u);
    EXPECT_FALSE(SystemMachineConditions(noBus(), sysfs.root()).hasExternalDisplay());

    fs::remove_all(sysfs.drm() / "card31-eDP-1");
    EXPECT_TRUE(SystemMachineConditions(noBus(), sysfs.root()).hasExternalDisplay());
}

struct PowerFixture : ::testing::Test {
    MockBuses buses{MockBuses::Options{.logind = false, .upower = true, .portal = false, .onBattery = true}};
    FakeSysfs sysfs;

    void SetUp() override {
        if (buses.isMissingATool()) {
            STAYWAKE_SKIP(buses.failure().toStdString());
        }
        ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
        sysfs.connector("card0-eDP-1", "connected");
    }

    void setUPowerProperty(const char* name, bool value) const {
        auto set = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.UPower"), QStringLiteral("/org/freedesktop/UPower"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        set << QStringLiteral("org.freedesktop.UPower") << QString::fromLatin1(name)
            << QVariant::fromValue(QDBusVariant(value));
        const auto reply = buses.systemBus().call(set, QDBus::Block, 20000);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
};

TEST_F(PowerFixture, ReadsOnBatteryFromUPower) {
    SystemMachineConditions conditions(buses.systemBus(), sysfs.root());
    EXPECT_TRUE(conditions.isOnBattery());
    EXPECT_EQ(conditions.snapshot(), (MachineConditionsSnapshot{true, false}));
    EXPECT_TRUE(conditions.snapshot().hasNoHeatPath());

    setUPowerProperty("OnBattery", false);
    EXPECT_FALSE(conditions.isOnBattery());
}

TEST(SystemMachineConditions, WithoutUPowerIsNotOnBattery) {
    MockBuses buses(MockBuses::Options{.logind = true, .upower = false, .portal = false});
    if (buses.isMissingATool()) {
        STAYWAKE_SKIP(buses.failure().toStdString());
    }
    ASSERT_TRUE(buses.failure().isEmpty()) << buses.failure().toStdString();
    FakeSysfs sysfs;
    EXPECT_FALSE(SystemMachineConditions(buses.systemBus(), sysfs.root()).isOnBattery());
    EXPECT_FALSE(SystemMachineConditions(noBus(), sysfs.root()).isOnBattery());
}

TEST_F(PowerFixture, APowerChangeReachesOnlyTheLatestHandlerWhichSeesItInTheSnapshot) {
    SystemMachineConditions conditions(buses.systemBus(), sysfs.root());
    SystemMachineConditionsNotifier notifier(buses.systemBus(), *qGuiApp);
    int first = 0;
    std::vector<MachineConditionsSnapshot> seen;
    notifier.observe([&] { ++first; });
    notifier.observe([&] { seen.push_back(conditions.snapshot()); });

    setUPowerProperty("OnBattery", false);
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 1; }));
    EXPECT_EQ(seen.back(), (MachineConditionsSnapshot{false, false}));

    // Lid and dock news on the same signal are not power changes.
    setUPowerProperty("LidIsClosed", true);
    setUPowerProperty("OnBattery", true);
    ASSERT_TRUE(waitUntil([&] { return seen.size() >= 2; }));
    runEventsFor(300ms);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen.back().hasNoHeatPath());
    EXPECT_EQ(first, 0);
}

TEST_F(PowerFixture, ScreenChangesReachTheHandlerUntilTheNotifierIsGone) {
    int calls = 0;
    {
        SystemMachineConditionsNotifier notifier(buses.systemBus(), *qGuiApp);
        notifier.observe([&] { ++calls; });
        notifier.observe([&] { calls += 10; });
        QScreen* screen = QGuiApplication::primaryScreen();
        ASSERT_NE(screen, nullptr);
        // The offscreen platform cannot plug a monitor in, so the application
        // announces one the way Qt does when it sees it.
        Q_EMIT qGuiApp->screenAdded(screen);
        Q_EMIT qGuiApp->screenRemoved(screen);
        EXPECT_EQ(calls, 20);
    }
    Q_EMIT qGuiApp->screenAdded(QGuiApplication::primaryScreen());
    setUPowerProperty("OnBattery", false);
    runEventsFor(300ms);
    EXPECT_EQ(calls, 20);
}

} // namespace
} // namespace staywake
