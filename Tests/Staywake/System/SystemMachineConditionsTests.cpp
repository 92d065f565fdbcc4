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

QDBusConnection noBus() { return QDBusConnection(QStringLiteral("staywake-test-never-connected")); }

bool hasExternalDisplay(const FakeSysfs& sysfs) {
    return SystemMachineConditions(noBus(), sysfs.root()).hasExternalDisplay();
}

TEST(SystemMachineConditions, ReadsTheDisplaysFromTheDrmConnectors) {
    using Connectors = std::map<std::string, std::string>;
    const struct {
        const char* name;
        Connectors connectors;
        std::vector<bool> builtIn;
        bool external;
    } cases[] = {
        {"built-in panel only", {{"card0-eDP-1", "connected"}, {"card0-HDMI-A-1", "disconnected"}}, {true}, false},
        {"built-in and external",
         {{"card0-eDP-1", "connected"}, {"card0-HDMI-A-1", "connected"}},
         {false, true},
         true},
        {"external only, lid closed",
         {{"card0-eDP-1", "disconnected"}, {"card1-DP-2", "connected"}},
         {false},
         true},
        {"nothing connected", {{"card0-eDP-1", "disconnected"}, {"card0-DP-1", "disconnected"}}, {}, false},
        {"no connectors at all", {}, {}, false},
        {"disconnected and unknown are no displays",
         {{"card0-LVDS-1", "connected"}, {"card0-VGA-1", "unknown"}, {"card0-Writeback-1", "unknown"}},
         {true},
         false},
        {"every built-in kind",
         {{"card0-eDP-1", "connected"}, {"card0-LVDS-1", "connected"}, {"card1-DSI-1", "connected"}},
         {true, true, true},
         false},
        {"card numbers compared as numbers",
         {{"card10-DP-1", "connected"}, {"card2-eDP-1", "connected"}},
         {true, false},
         true},
    };
    for (const auto& c : cases) {
        FakeSysfs sysfs;
        fs::create_directories(sysfs.drm());
        // Entries that are not connectors sit beside them in the real folder.
        fs::create_directories(sysfs.drm() / "card0");
        std::ofstream(sysfs.drm() / "version") << "drm 1.1.0 20060810\n";
        for (const auto& [name, status] : c.connectors) {
            sysfs.connector(name, status);
        }
        EXPECT_EQ(DrmDisplayList::onlineDisplaysBuiltIn(sysfs.root()), c.builtIn) << c.name;
        EXPECT_EQ(hasExternalDisplay(sysfs), c.external) << c.name;
    }
}

TEST(SystemMachineConditions, AssumesAnExternalDisplayWhenTheConnectorsCannotBeReadAndCountsOnlyThe32First) {
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
        EXPECT_TRUE(hasExternalDisplay(*sysfs)) << sysfs->root();
    }

    FakeSysfs many;
    for (int card = 0; card < 32; ++card) {
        many.connector("card" + std::to_string(card) + "-eDP-1", "connected");
    }
    many.connector("card32-HDMI-A-1", "connected"); // the 33rd display comes last
    EXPECT_EQ(DrmDisplayList::onlineDisplaysBuiltIn(many.root())->size(), 32u);
    EXPECT_FALSE(hasExternalDisplay(many));
    fs::remove_all(many.drm() / "card31-eDP-1");
    EXPECT_TRUE(hasExternalDisplay(many));
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

TEST_F(PowerFixture, APowerChangeReachesOnlyTheLatestHandlerWhichSeesItInTheSnapshot) {
    SystemMachineConditions conditions(buses.systemBus(), sysfs.root());
    EXPECT_TRUE(conditions.snapshot().hasNoHeatPath());
    EXPECT_FALSE(SystemMachineConditions(noBus(), sysfs.root()).isOnBattery()) << "without UPower";
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
        // The offscreen platform cannot plug a monitor in, so the application
        // announces one the way Qt does when it sees it.
        Q_EMIT qGuiApp->screenAdded(QGuiApplication::primaryScreen());
        Q_EMIT qGuiApp->screenRemoved(QGuiApplication::primaryScreen());
        EXPECT_EQ(calls, 20);
    }
    Q_EMIT qGuiApp->screenAdded(QGuiApplication::primaryScreen());
    setUPowerProperty("OnBattery", false);
    runEventsFor(300ms);
    EXPECT_EQ(calls, 20);
}

} // namespace
} // namespace staywake
