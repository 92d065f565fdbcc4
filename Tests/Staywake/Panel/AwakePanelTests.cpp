#include "Staywake/Panel/AwakePanel.h"
#include "Staywake/Panel/PanelHeader.h"
#include "Staywake/Panel/PanelNote.h"
#include "Staywake/Panel/PanelSwitch.h"
#include "Staywake/Panel/PanelSymbol.h"
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
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace staywake {
namespace {

using namespace testing;

/// The app's translations for one language and its layout direction, while it lives.
class PanelLanguage {
public:
    explicit PanelLanguage(const QString& language) : translations_(QStringLiteral(STAYWAKE_TRANSLATIONS_DIR)) {
        translations_.install(language);
        QGuiApplication::setLayoutDirection(language == QLatin1String("ar") ? Qt::RightToLeft : Qt::LeftToRight);
    }
    ~PanelLanguage() { QGuiApplication::setLayoutDirection(Qt::LeftToRight); }

private:
    AppTranslations translations_;
};

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

/// The four controllers over in-memory mechanisms and fake clocks, and a panel over them.
struct PanelWorld {
    explicit PanelWorld(const PanelSetup& setup = {}, const std::string& locale = "en") {
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
        auto* settingsRow = new QPushButton(QStringLiteral("⚙"));
        AwakePanel::Links links{[this] { ++openedLoginItems; }, [this] { ++approvedHelper; }};
        panel = std::make_unique<AwakePanel>(
            awake, loginItem, std::make_shared<PresetDurationsController>(*presetStore), lid, [] {}, settingsRow,
            links, locale, setup.reduceMotion);
    }

    template <typename Widget = QWidget> Widget* item(const char* name) const {
        auto* found = panel->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    bool shows(const char* name) const { return item(name)->isVisibleTo(panel.get()); }
    void click(const char* name) const { item<QAbstractButton>(name)->click(); }
    /// Lets time pass on every clock without any timer firing.
    void pass(double seconds) {
        dates->advance(seconds);
        continuous->advance(seconds);
    }

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

// Items that come and go; everything else is always there.
const std::vector<const char*> optionalItems = {
    "problem",           "awakeFailure",   "cancelTimer",   "presets",   "heatWarning",
    "noHeatPath",        "lidFailure",     "approveHelper", "dontRetry", "needsApproval",
    "notInApplications", "openLoginItems", "loginFailure",  "holders",
};

struct PanelState {
    std::string name;
    PanelSetup setup;
    std::function<void(PanelWorld&)> act;
    std::set<std::string> shown;
    const char* status;   // the header, in English
    const char* explains; // a part of the explanation under it
    bool nightBrewEnabled = true;
    bool nightBrewOn = false;
    const char* note = ""; // the one note shown, if any, and its text
    const char* noteText = "";
};

PanelSetup refusedAtLaunch() {
    return {.stored = StoredAwakeIntent::intent(AwakeIntent::indefinite()), .refusalCode = -7};
}

std::vector<PanelState> panelStates() {
    const auto presets = PanelSetup{.pinned = {1800, 3600, 7200}};
    const auto nightBrew = [](PanelWorld& w) {
        w.lid->turnOnJoiningSessionOr(AwakeDuration::lidClosedDefault().seconds);
    };
    const auto needsApproval = [=](PanelWorld& w) {
        w.lidBlocker->nextPreparationError =
            std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
        nightBrew(w);
    };
    const auto refusesRenewal = [=](PanelWorld& w) {
        w.lidBlocker->nextRenewalError = LidSleepBlockerError::helperRefused(
            std::string(LidHelperRefusal::settingUnwrittenPrefix) + "pmset exited 1");
        nightBrew(w);
    };
    const char* const off = "as usual";
    const char* const untilTheEnd = "until the session ends. Closing the lid";
    // clang-format off
    return {
        {"off without presets", {}, nullptr, {}, "Off", off},
        {"off with presets pinned", presets, nullptr, {"presets"}, "Off", off},
        {"on with 90 seconds left", presets, [](PanelWorld& w) { w.awake->turnOn(90); }, {"cancelTimer"},
         "On · 1:30 left", untilTheEnd},
        {"on without a timer, presets pinned", presets, [](PanelWorld& w) { w.awake->turnOn(std::nullopt); },
         {"presets"}, "On", "on its own. Closing the lid"},
        {"refused at launch", refusedAtLaunch(), nullptr, {"awakeFailure", "dontRetry"}, "Off", off, true, false,
         "awakeFailure", "The system couldn't keep your computer awake (error -7)."},
        {"heat warning not acknowledged", PanelSetup{.acknowledged = false}, nullptr,
         {"heatWarning"}, "Off", off, false},
        {"Night Brew on, on battery", PanelSetup{.onBattery = true}, nightBrew,
         {"cancelTimer", "noHeatPath"}, "On · 2:00:00 left", "even with the lid closed", true, true},
        {"helper needs approval", {}, needsApproval, {"lidFailure", "approveHelper"}, "Off", off, true, false,
         "lidFailure", "To use Night Brew, allow Staywake's helper on this system, then turn it on again."},
        {"helper refuses a renewal", {}, refusesRenewal, {"cancelTimer", "lidFailure"}, "On · 2:00:00 left",
         untilTheEnd, true, false, "lidFailure",
         "Night Brew can't start because its helper couldn't change the sleep setting (pmset exited 1)."},
        {"login item away from an applications folder",
         PanelSetup{.login = LoginItemState::enabled, .stableLocation = false}, nullptr, {"notInApplications"}, "Off",
         off},
        {"login item waiting for approval", PanelSetup{.login = LoginItemState::requiresApproval},
         nullptr, {"needsApproval", "openLoginItems"}, "Off", off},
        {"a settings file problem", {},
         [](PanelWorld& w) { w.panel->showProblem("The settings file was unreadable."); }, {"problem"}, "Off", off,
         true, false, "problem", "The settings file was unreadable."},
        {"scripts holding the computer awake", {},
         [](PanelWorld& w) { w.panel->setHolders({"nightly backup", "render"}); }, {"holders"}, "Off", off,
         true, false, "holders", "Kept awake for nightly backup, render"},
    };
    // clang-format on
}

TEST(AwakePanel, ShowsEachStateInEnglishAndMirroredInArabic) {
    // Every text a user reads is Arabic, but for names and what the test passed in.
    const std::set<QString> untranslated = {"Staywake", "Night Brew", "⚙", "The settings file was unreadable."};
    const auto isArabic = [](const QString& text) {
        return std::any_of(text.begin(), text.end(),
                           [](QChar c) { return c.unicode() >= 0x600 && c.unicode() <= 0x6FF; });
    };
    for (const QString language : {"en", "ar"}) {
        PanelLanguage translated(language);
        for (const auto& state : panelStates()) {
            SCOPED_TRACE(language.toStdString() + ": " + state.name);
            PanelWorld world(state.setup, language.toStdString());
            if (state.act) {
                state.act(world);
            }
            for (const char* name : optionalItems) {
                EXPECT_EQ(world.shows(name), state.shown.count(name) == 1) << name;
            }
            EXPECT_EQ(world.item("nightBrew")->isEnabled(), state.nightBrewEnabled);
            EXPECT_EQ(world.item<PanelSwitch>("nightBrew")->isChecked(), state.nightBrewOn);
            const auto* header = world.item<PanelHeader>("header");
            if (language == "en") {
                EXPECT_EQ(header->statusText(), state.status);
                EXPECT_TRUE(world.item<QLabel>("explanation")->text().contains(state.explains));
                if (*state.note) {
                    EXPECT_EQ(world.item<PanelNote>(state.note)->text(), state.noteText);
                }
                continue;
            }
            EXPECT_TRUE(world.panel->isRightToLeft());
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
            // A note's symbol stands at the right of its text.
            const auto* note = world.item("nightBrewNote");
            EXPECT_GT(note->findChild<PanelSymbolImage*>()->geometry().x(),
                      note->findChild<QLabel*>()->geometry().x());
        }
    }
}

TEST(AwakePanel, ControlsCallTheirOperations) {
    PanelLanguage english("en");
    using W = const PanelWorld&;
    const auto refuse = [](PanelWorld& w, const LidSleepBlockerError& error) {
        w.lidBlocker->nextPreparationError = std::make_exception_ptr(error);
    };
    const struct {
        std::string name;
        PanelSetup setup;
        std::function<void(PanelWorld&)> before;
        const char* control; // "preset": the second preset button
        std::function<bool(W)> holds;
    } cases[] = {
        // clang-format off
        {"Turn On starts a session without a deadline", {}, nullptr, "power",
         [](W w) { return w.awake->isOn() && !w.awake->activeUntil().get(); }},
        {"Turn Off while Night Brew is on gives the lease back first", {},
         [](PanelWorld& w) { w.lid->turnOnJoiningSessionOr(600); }, "power",
         [](W w) { return !w.awake->isOn() && !w.lid->isOn() && w.lidBlocker->revokeCount == 1; }},
        {"a preset re-aims the running session", PanelSetup{.pinned = {1800, 3600}},
         [](PanelWorld& w) { w.awake->turnOn(std::nullopt); }, "preset",
         [](W w) { return w.awake->activeUntil().get() == w.dates->now() + 3600; }},
        {"the timer is dropped, the session kept", {}, [](PanelWorld& w) { w.awake->turnOn(600); }, "cancelTimer",
         [](W w) { return w.awake->isOn() && !w.awake->activeUntil().get(); }},
        {"Night Brew starts a two-hour session", {}, nullptr, "nightBrew",
         [](W w) { return w.lid->isOn() && w.awake->activeUntil().get() == w.dates->now() + 7200; }},
        {"Night Brew joins a running session", {}, [](PanelWorld& w) { w.awake->turnOn(std::nullopt); }, "nightBrew",
         [](W w) { return w.lid->isOn() && !w.awake->activeUntil().get(); }},
        {"switching Night Brew off keeps the session", {},
         [](PanelWorld& w) { w.lid->turnOnJoiningSessionOr(std::nullopt); }, "nightBrew",
         [](W w) { return !w.lid->isOn() && w.awake->isOn(); }},
        {"the switch flips while the helper is asked", {}, [](PanelWorld& w) { w.lidBlocker->holdsReplies = true; },
         "nightBrew", [](W w) { return w.lid->isTurningOn() && w.item<PanelSwitch>("nightBrew")->isChecked(); }},
        {"a refused Night Brew switch springs back", {},
         [&](PanelWorld& w) { refuse(w, LidSleepBlockerError::helperUnavailable()); }, "nightBrew",
         [](W w) { return !w.item<PanelSwitch>("nightBrew")->isChecked() && w.shows("lidFailure"); }},
        {"I understand enables the switch", PanelSetup{.acknowledged = false}, nullptr,
         "understand", [](W w) { return w.lidStore->hasAcknowledgedHeatWarning() &&
                                        w.item("nightBrew")->isEnabled() && !w.shows("heatWarning"); }},
        {"Don't retry forgets the refused session", refusedAtLaunch(), nullptr, "dontRetry", [](W w) {
             return !w.intents->isAwakeRequested() && !w.shows("dontRetry") && !w.shows("awakeFailure"); }},
        {"Open at Login registers the app", {}, nullptr, "login",
         [](W w) { return w.loginItem->isEnabled() && w.item<PanelSwitch>("login")->isChecked(); }},
        {"the login-items link opens the startup settings",
         PanelSetup{.login = LoginItemState::requiresApproval}, nullptr, "openLoginItems",
         [](W w) { return w.openedLoginItems == 1; }},
        {"the link below the approval failure approves the helper", {}, [&](PanelWorld& w) {
             refuse(w, LidSleepBlockerError::helperRequiresApproval()); w.lid->turnOnJoiningSessionOr(600); },
         "approveHelper", [](W w) { return w.approvedHelper == 1; }},
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
            world.click(each.control);
        }
        EXPECT_TRUE(each.holds(world)) << each.name;
    }
}

TEST(AwakePanel, RefreshesEachTimeItsWindowIsActivated) {
    PanelLanguage english("en");
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

class PaintCounter final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints[watched] += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    std::map<QObject*, int> paints;
};

TEST(AwakePanel, CountsDownOnlyWhileVisibleRepaintingOnlyTheHeaderWhichIsOneAccessibleElement) {
    PanelLanguage english("en");
    PanelWorld world;
    world.awake->turnOn(600);
    auto* header = world.item<PanelHeader>("header");
    EXPECT_FALSE(header->isTicking()) << "hidden";
    world.panel->show();
    EXPECT_TRUE(header->isTicking());
    QCoreApplication::processEvents();
    PaintCounter counter;
    header->installEventFilter(&counter);
    world.item("explanation")->installEventFilter(&counter);
    world.pass(30);
    EXPECT_TRUE(QTest::qWaitFor([&] { return header->statusText() == "On · 9:30 left"; }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints[header] > 0; }, 3000));
    EXPECT_EQ(counter.paints[world.item("explanation")], 0);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(header);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Staywake, on, 9 minutes left");
    EXPECT_EQ(accessible->role(), QAccessible::StaticText);
    EXPECT_EQ(accessible->childCount(), 0);
    world.panel->hide();
    EXPECT_FALSE(header->isTicking());
}

TEST(AwakePanel, NightBrewsHintFollowsTheHeatWarning) {
    PanelLanguage english("en");
    PanelWorld world(PanelSetup{.acknowledged = false});
    EXPECT_TRUE(world.item("nightBrew")->accessibleDescription().startsWith("With the lid shut"));
    world.click("understand");
    EXPECT_EQ(world.item("nightBrew")->accessibleDescription(), "Your computer stays awake with the lid closed.");
}

TEST(AwakePanel, AnimatesTheHeightUnlessMotionIsReduced) {
    PanelLanguage english("en");
    for (const bool reduceMotion : {true, false}) {
        SCOPED_TRACE(reduceMotion ? "reduced motion" : "motion");
        PanelWorld world(PanelSetup{.pinned = {1800}, .reduceMotion = reduceMotion});
        world.panel->show();
        const int offHeight = world.panel->height();
        world.awake->turnOn(600);
        const int target = world.panel->layout()->totalHeightForWidth(260);
        EXPECT_NE(target, offHeight);
        EXPECT_EQ(world.panel->height() == target, reduceMotion);
        EXPECT_TRUE(QTest::qWaitFor([&] { return world.panel->height() == target; }, 2000));
        EXPECT_EQ(world.panel->width(), 260);
    }
}

} // namespace
} // namespace staywake
