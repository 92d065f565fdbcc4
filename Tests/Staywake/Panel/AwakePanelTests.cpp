#include "Staywake/Panel/AwakePanel.h"
#include "Staywake/Panel/PanelHeader.h"
#include "Staywake/Panel/PanelNote.h"
#include "Staywake/Panel/PanelSwitch.h"
#include "Staywake/Translations/AppTranslations.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Durations/InMemoryPresetDurationStore.h"
#include "StaywakeCore/Lid/InMemoryLidAwakeStore.h"
#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/LoginItem/InMemoryLoginItem.h"
#include "StaywakeCore/Machine/StaticMachineConditions.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"
#include "Support/Fakes/SilentMachineConditions.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace staywake {
namespace {

using namespace testing;

struct PanelSetup {
    StoredAwakeIntent stored = StoredAwakeIntent::intent(AwakeIntent::off());
    std::optional<std::int32_t> refusalCode = std::nullopt;
    std::vector<double> pinned = {};
    bool acknowledged = true;
    bool onBattery = false;
    LoginItemState login = LoginItemState::disabled;
    bool stableLocation = true;
    bool reduceMotion = true;
};

/// The four controllers over in-memory mechanisms and fake clocks, and a panel over them, in one
/// language and its layout direction.
struct PanelWorld {
    explicit PanelWorld(const PanelSetup& setup = {}, const QString& language = "en") {
        translations.install(language);
        QGuiApplication::setLayoutDirection(language == "ar" ? Qt::RightToLeft : Qt::LeftToRight);
        blocker->refusalCode = setup.refusalCode;
        intents->stored = setup.stored;
        lidStore->setHasAcknowledgedHeatWarning(setup.acknowledged);
        conditions->setOnBattery(setup.onBattery);
        awake = std::make_shared<AwakeController>(blocker, intents, dates, continuous,
                                                  std::make_shared<ManualDeadlineScheduler>(),
                                                  std::make_shared<ManualRecheckNotifier>(), true);
        lid = std::make_shared<LidAwakeController>(
            awake, lidBlocker, lidStore, conditions, std::make_shared<SilentMachineConditionsNotifier>(), dates,
            std::make_shared<ManualDeadlineScheduler>(), std::make_shared<ManualDeadlineScheduler>());
        loginItem = std::make_shared<LoginItemController>(
            std::make_shared<InMemoryLoginItem>(setup.login, setup.stableLocation), false);
        presetStore = std::make_unique<InMemoryPresetDurationStore>(setup.pinned);
        AwakePanel::Links links{[this] { ++openedLoginItems; }, [this] { ++approvedHelper; }};
        panel = std::make_unique<AwakePanel>(
            awake, loginItem, std::make_shared<PresetDurationsController>(*presetStore), lid, [] {},
            new QPushButton(QStringLiteral("⚙")), links, language.toStdString(), setup.reduceMotion);
    }
    ~PanelWorld() { QGuiApplication::setLayoutDirection(Qt::LeftToRight); }

    template <typename Widget = QWidget> Widget* item(const char* name) const {
        auto* found = panel->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    bool shows(const char* name) const { return item(name)->isVisibleTo(panel.get()); }
    /// Lets time pass on every clock without any timer firing.
    void pass(double seconds) {
        dates->advance(seconds);
        continuous->advance(seconds);
    }

    AppTranslations translations{QStringLiteral(STAYWAKE_TRANSLATIONS_DIR)};
    std::shared_ptr<FakeDateProvider> dates = std::make_shared<FakeDateProvider>();
    std::shared_ptr<FakeContinuousTimeProvider> continuous = std::make_shared<FakeContinuousTimeProvider>();
    std::shared_ptr<InMemorySleepBlocker> blocker = std::make_shared<InMemorySleepBlocker>();
    std::shared_ptr<InMemoryAwakeIntentStore> intents = std::make_shared<InMemoryAwakeIntentStore>();
    std::shared_ptr<InMemoryLidSleepBlocker> lidBlocker = std::make_shared<InMemoryLidSleepBlocker>();
    std::shared_ptr<InMemoryLidAwakeStore> lidStore = std::make_shared<InMemoryLidAwakeStore>();
    std::shared_ptr<StaticMachineConditions> conditions = std::make_shared<StaticMachineConditions>(false, false);
    std::unique_ptr<InMemoryPresetDurationStore> presetStore;
    std::shared_ptr<AwakeController> awake;
    std::shared_ptr<LidAwakeController> lid;
    std::shared_ptr<LoginItemController> loginItem;
    int openedLoginItems = 0;
    int approvedHelper = 0;
    std::unique_ptr<AwakePanel> panel;
};

using Act = std::function<void(PanelWorld&)>;
const PanelSetup refusedAtLaunch{.stored = StoredAwakeIntent::intent(AwakeIntent::indefinite()),
                                 .refusalCode = -7};
const Act nightBrew = [](PanelWorld& w) {
    w.lid->turnOnJoiningSessionOr(AwakeDuration::lidClosedDefault().seconds);
};
const auto refuseLid = [](const LidSleepBlockerError& error) {
    return [error](PanelWorld& w) { w.lidBlocker->nextPreparationError = std::make_exception_ptr(error); };
};
const Act needsApproval = [](PanelWorld& w) {
    refuseLid(LidSleepBlockerError::helperRequiresApproval())(w);
    nightBrew(w);
};

TEST(AwakePanel, ShowsEachStateInEnglishAndMirroredInArabic) {
    // Items that come and go; everything else is always there.
    const char* const optionalItems[] = {"problem",      "awakeFailure",  "cancelTimer",       "presets",
                                         "heatWarning",  "noHeatPath",    "lidFailure",        "approveHelper",
                                         "dontRetry",    "needsApproval", "notInApplications", "openLoginItems",
                                         "loginFailure", "holders"};
    const auto refusesRenewal = [](PanelWorld& w) {
        w.lidBlocker->nextRenewalError = LidSleepBlockerError::helperRefused(
            std::string(LidHelperRefusal::settingUnwrittenPrefix) + "pmset exited 1");
        nightBrew(w);
    };
    const PanelSetup presets{.pinned = {1800, 3600, 7200}};
    const struct {
        std::string name;
        PanelSetup setup;
        Act act;
        std::set<std::string> shown;
        bool nightBrewEnabled = true;
        bool nightBrewOn = false;
    } states[] = {
        // clang-format off
        {"off without presets", {}, nullptr, {}},
        {"off with presets pinned", presets, nullptr, {"presets"}},
        {"on with 90 s left", presets, [](PanelWorld& w) { w.awake->turnOn(90); }, {"cancelTimer"}},
        {"on without a timer", presets, [](PanelWorld& w) { w.awake->turnOn(std::nullopt); }, {"presets"}},
        {"refused at launch", refusedAtLaunch, nullptr, {"awakeFailure", "dontRetry"}},
        {"heat warning not acknowledged", {.acknowledged = false}, nullptr, {"heatWarning"}, false},
        {"Night Brew on battery", {.onBattery = true}, nightBrew, {"cancelTimer", "noHeatPath"}, true, true},
        {"helper needs approval", {}, needsApproval, {"lidFailure", "approveHelper"}},
        {"helper refuses a renewal", {}, refusesRenewal, {"cancelTimer", "lidFailure"}},
        {"login item moved", {.login = LoginItemState::enabled, .stableLocation = false}, nullptr,
         {"notInApplications"}},
        {"login item needs approval", {.login = LoginItemState::requiresApproval}, nullptr,
         {"needsApproval", "openLoginItems"}},
        {"a settings problem", {}, [](PanelWorld& w) { w.panel->showProblem("Unreadable."); }, {"problem"}},
        {"scripts holding it awake", {}, [](PanelWorld& w) { w.panel->setHolders({"backup", "render"}); },
         {"holders"}},
        // clang-format on
    };
    // Every text a user reads is Arabic, but for names and what the test passed in.
    const std::set<QString> untranslated = {"Staywake", "Night Brew", "⚙", "Unreadable."};
    const auto isArabic = [](const QString& text) {
        return std::any_of(text.begin(), text.end(),
                           [](QChar c) { return c.unicode() >= 0x600 && c.unicode() <= 0x6FF; });
    };
    for (const QString language : {"en", "ar"}) {
        for (const auto& state : states) {
            PanelWorld world(state.setup, language);
            if (state.act) {
                state.act(world);
            }
            for (const char* name : optionalItems) {
                EXPECT_EQ(world.shows(name), state.shown.count(name) == 1) << name << " in " << state.name;
            }
            EXPECT_EQ(world.item("nightBrew")->isEnabled(), state.nightBrewEnabled) << state.name;
            EXPECT_EQ(world.item<PanelSwitch>("nightBrew")->isChecked(), state.nightBrewOn) << state.name;
            const auto* header = world.item<PanelHeader>("header");
            if (language == "en") {
                // Night Brew's sentence is the one that tells the session, its timer and the lid apart.
                const QString said = world.item<QLabel>("explanation")->text();
                EXPECT_EQ(said.endsWith("session ends, even with the lid closed."), state.nightBrewOn)
                    << state.name;
                continue;
            }
            world.panel->show();
            QCoreApplication::processEvents(); // lets the nested layouts place their rows
            QStringList texts{header->statusText(), header->accessibleName()};
            for (const auto* label : world.panel->findChildren<QLabel*>()) {
                texts << (label->isVisible() ? label->text() : QString());
            }
            for (const auto* button : world.panel->findChildren<QAbstractButton*>()) {
                texts << (button->isVisible() ? button->text() : QString());
            }
            for (const QString& text : texts) {
                EXPECT_TRUE(text.isEmpty() || untranslated.count(text) || isArabic(text)) << text.toStdString();
            }
        }
    }
}

TEST(AwakePanel, ControlsCallTheirOperations) {
    using W = const PanelWorld&;
    const struct {
        std::string name;
        PanelSetup setup;
        Act before;
        const char* control; // "preset": the second preset button
        std::function<bool(W)> holds;
    } cases[] = {
        // clang-format off
        {"Turn On starts a session without a deadline", {}, nullptr, "power",
         [](W w) { return w.awake->isOn() && !w.awake->activeUntil().get(); }},
        {"Turn Off while Night Brew is on gives the lease back first", {},
         [](PanelWorld& w) { w.lid->turnOnJoiningSessionOr(600); }, "power",
         [](W w) { return !w.awake->isOn() && !w.lid->isOn() && w.lidBlocker->revokeCount == 1; }},
        {"a preset re-aims the running session", {.pinned = {1800, 3600}},
         [](PanelWorld& w) { w.awake->turnOn(std::nullopt); }, "preset",
         [](W w) { return w.awake->activeUntil().get() == w.dates->now() + 3600; }},
        {"the timer is dropped, the session kept", {}, [](PanelWorld& w) { w.awake->turnOn(600); }, "cancelTimer",
         [](W w) { return w.awake->isOn() && !w.awake->activeUntil().get(); }},
        {"Night Brew starts a two-hour session", {}, nullptr, "nightBrew",
         [](W w) { return w.lid->isOn() && w.awake->activeUntil().get() == w.dates->now() + 7200; }},
        {"switching Night Brew off keeps the session", {}, nightBrew, "nightBrew",
         [](W w) { return !w.lid->isOn() && w.awake->isOn(); }},
        {"the switch flips while the helper is asked", {}, [](PanelWorld& w) { w.lidBlocker->holdsReplies = true; },
         "nightBrew", [](W w) { return w.lid->isTurningOn() && w.item<PanelSwitch>("nightBrew")->isChecked(); }},
        {"a refused Night Brew switch springs back", {}, refuseLid(LidSleepBlockerError::helperUnavailable()),
         "nightBrew", [](W w) { return !w.item<PanelSwitch>("nightBrew")->isChecked() && w.shows("lidFailure"); }},
        {"I understand enables the switch", {.acknowledged = false}, [](PanelWorld& w) {
             EXPECT_TRUE(w.item("nightBrew")->accessibleDescription().startsWith("With the lid shut")); }, "understand", [](W w) {
             return w.lidStore->hasAcknowledgedHeatWarning() && w.item("nightBrew")->isEnabled() &&
                    !w.shows("heatWarning") &&
                    w.item("nightBrew")->accessibleDescription() == "Your computer stays awake with the lid closed."; }},
        {"Don't retry forgets the refused session", refusedAtLaunch, nullptr, "dontRetry", [](W w) {
             return !w.intents->isAwakeRequested() && !w.shows("dontRetry") && !w.shows("awakeFailure"); }},
        {"Open at Login registers the app", {}, nullptr, "login",
         [](W w) { return w.loginItem->isEnabled() && w.item<PanelSwitch>("login")->isChecked(); }},
        {"the login-items link opens the startup settings", {.login = LoginItemState::requiresApproval}, nullptr,
         "openLoginItems", [](W w) { return w.openedLoginItems == 1; }},
        {"the link below the approval failure approves the helper", {}, needsApproval, "approveHelper",
         [](W w) { return w.approvedHelper == 1; }},
        // clang-format on
    };
    for (const auto& each : cases) {
        PanelWorld world(each.setup);
        if (each.before) {
            each.before(world);
        }
        if (std::string(each.control) == "preset") {
            world.item("presets")->findChildren<QPushButton*>().value(1)->click();
        } else {
            world.item<QAbstractButton>(each.control)->click();
        }
        EXPECT_TRUE(each.holds(world)) << each.name;
    }
}

TEST(AwakePanel, RefreshesEachTimeItsWindowIsActivated) {
    QWidget window;
    PanelWorld world;
    world.panel->setParent(&window);
    world.awake->turnOn(60);
    world.lid->turnOnJoiningSessionOr(std::nullopt);
    world.conditions->setOnBattery(true);
    world.pass(61); // the session ran out while the machine slept: no timer fired
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activate);
    EXPECT_EQ(world.item<PanelHeader>("header")->statusText(), "Off");
    EXPECT_FALSE(world.lid->isOn());
    EXPECT_TRUE(world.lid->machineConditions().get().isOnBattery);
}

TEST(AwakePanel, CountsDownOnlyWhileVisibleInAHeaderThatIsOneAccessibleElement) {
    PanelWorld world;
    world.awake->turnOn(600);
    auto* header = world.item<PanelHeader>("header");
    world.panel->show();
    EXPECT_TRUE(header->isTicking());
    world.pass(30);
    EXPECT_TRUE(QTest::qWaitFor([&] { return header->statusText() == "On · 9:30 left"; }, 3000));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(header);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Staywake, on, 9 minutes left");
    EXPECT_EQ(accessible->childCount(), 0);
    world.panel->hide();
    EXPECT_FALSE(header->isTicking());
    world.panel->setHolders({"backup", "render"});
    EXPECT_EQ(world.item<PanelNote>("holders")->text(), "Kept awake for backup, render");
}

TEST(AwakePanel, AnimatesTheHeightUnlessMotionIsReduced) {
    for (const bool reduceMotion : {true, false}) {
        PanelWorld world(PanelSetup{.pinned = {1800}, .reduceMotion = reduceMotion});
        world.panel->show();
        const int offHeight = world.panel->height();
        world.awake->turnOn(600);
        const int target = world.panel->layout()->totalHeightForWidth(260);
        EXPECT_NE(target, offHeight);
        EXPECT_EQ(world.panel->height() == target, reduceMotion);
        EXPECT_TRUE(QTest::qWaitFor([&] { return world.panel->height() == target; }, 2000));
    }
}

} // namespace
} // namespace staywake
