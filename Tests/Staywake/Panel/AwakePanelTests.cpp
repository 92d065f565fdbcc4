#include "PanelWorld.h"
#include "Staywake/Panel/PanelHeader.h"
#include "Staywake/Panel/PanelNote.h"
#include "Staywake/Panel/PanelSwitch.h"
#include "Staywake/Panel/PanelSymbol.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace staywake {
namespace {

using testing::PanelLanguage;
using testing::PanelSetup;
using testing::PanelWorld;
using testing::with;

// Items that come and go; everything else is always there.
const std::vector<const char*> optionalItems = {
    "problem",           "awakeFailure",   "cancelTimer",   "presets",   "heatWarning",
    "noHeatPath",        "lidFailure",     "approveHelper", "dontRetry", "needsApproval",
    "notInApplications", "openLoginItems", "loginFailure",  "holders",
};

// What the header, explanation and power button say.
struct Words {
    QString status;
    QString spoken;
    QString explanation;
    QString power;
};

const Words offWords{"Off", "Staywake, off", "Your computer can sleep as usual.", "Turn On"};
const Words twoHoursLeft{
    "On · 2:00:00 left", "Staywake, on, 2 hours left",
    "Your computer won't fall asleep until the session ends. Closing the lid still puts it to "
    "sleep.",
    "Turn Off"};

struct PanelState {
    std::string name;
    PanelSetup setup;
    std::function<void(PanelWorld&)> act;
    std::set<std::string> shown;
    Words words;
    bool nightBrewEnabled = true;
    bool nightBrewOn = false;
    std::map<std::string, QString> notes = {};
};

void turnOnNightBrew(PanelWorld& w) { w.lid->turnOnJoiningSessionOr(AwakeDuration::lidClosedDefault().seconds); }

std::vector<PanelState> panelStates() {
    const auto presets = with([](PanelSetup& s) { s.pinned = {1800, 3600, 7200}; });
    const auto refusedAtLaunch = with([](PanelSetup& s) {
        s.stored = StoredAwakeIntent::intent(AwakeIntent::indefinite());
        s.refusalCode = -7;
    });
    const auto needsApproval = [](PanelWorld& w) {
        w.lidBlocker->nextPreparationError =
            std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
        turnOnNightBrew(w);
    };
    const auto refusesRenewal = [](PanelWorld& w) {
        w.lidBlocker->nextRenewalError = LidSleepBlockerError::helperRefused(
            std::string(LidHelperRefusal::settingUnwrittenPrefix) + "pmset exited 1");
        turnOnNightBrew(w);
    };
    // clang-format off
    return {
        {"off without presets", {}, nullptr, {}, offWords},
        {"off with presets pinned", presets, nullptr, {"presets"}, offWords},
        {"on with 90 seconds left", presets, [](PanelWorld& w) { w.awake->turnOn(90); }, {"cancelTimer"},
         {"On · 1:30 left", "Staywake, on, 1 minute left", twoHoursLeft.explanation, "Turn Off"}},
        {"on without a timer, presets pinned", presets, [](PanelWorld& w) { w.awake->turnOn(std::nullopt); },
         {"presets"}, {"On", "Staywake, on",
          "Your computer won't fall asleep on its own. Closing the lid still puts it to sleep.", "Turn Off"}},
        {"refused at launch", refusedAtLaunch, nullptr, {"awakeFailure", "dontRetry"}, offWords, true, false,
         {{"awakeFailure", "The system couldn't keep your computer awake (error -7)."}}},
        {"heat warning not acknowledged", with([](PanelSetup& s) { s.acknowledged = false; }), nullptr,
         {"heatWarning"}, offWords, false},
        {"Night Brew on, on battery", with([](PanelSetup& s) { s.onBattery = true; }), turnOnNightBrew,
         {"cancelTimer", "noHeatPath"}, {twoHoursLeft.status, twoHoursLeft.spoken,
          "Your computer won't fall asleep until the session ends, even with the lid closed.", "Turn Off"},
         true, true},
        {"helper needs approval", {}, needsApproval, {"lidFailure", "approveHelper"}, offWords, true, false,
         {{"lidFailure", "To use Night Brew, allow Staywake's helper on this system, then turn it on again."}}},
        {"helper refuses a renewal", {}, refusesRenewal, {"cancelTimer", "lidFailure"}, twoHoursLeft, true, false,
         {{"lidFailure",
           "Night Brew can't start because its helper couldn't change the sleep setting (pmset exited 1)."}}},
        {"login item away from an applications folder", with([](PanelSetup& s) {
             s.login = LoginItemState::enabled;
             s.stableLocation = false;
         }), nullptr, {"notInApplications"}, offWords},
        {"login item waiting for approval", with([](PanelSetup& s) { s.login = LoginItemState::requiresApproval; }),
         nullptr, {"needsApproval", "openLoginItems"}, offWords},
        {"a settings file problem", {}, [](PanelWorld& w) { w.panel->showProblem("The settings file was unreadable."); },
         {"problem"}, offWords, true, false, {{"problem", "The settings file was unreadable."}}},
        {"scripts holding the computer awake", {},
         [](PanelWorld& w) { w.panel->setHolders({"nightly backup", "render"}); },
         {"holders"}, offWords, true, false, {{"holders", "Kept awake for nightly backup, render"}}},
    };
    // clang-format on
}

void expectShownItems(const PanelWorld& world, const PanelState& state) {
    for (const char* name : optionalItems) {
        EXPECT_EQ(world.shows(name), state.shown.count(name) == 1) << name;
    }
    EXPECT_EQ(world.item("nightBrew")->isEnabled(), state.nightBrewEnabled);
    EXPECT_EQ(world.item<PanelSwitch>("nightBrew")->isChecked(), state.nightBrewOn);
}

bool isArabic(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x600 && c.unicode() <= 0x6FF; });
}

TEST(AwakePanel, ShowsEachStateInEnglishAndMirroredInArabic) {
    for (const char* language : {"en", "ar"}) {
        PanelLanguage translated(language);
        for (const auto& state : panelStates()) {
            SCOPED_TRACE(std::string(language) + ": " + state.name);
            PanelWorld world(state.setup, language);
            if (state.act) {
                state.act(world);
            }
            expectShownItems(world, state);
            const auto* header = world.item<PanelHeader>("header");
            if (std::string(language) == "en") {
                EXPECT_EQ(header->statusText(), state.words.status);
                EXPECT_EQ(header->accessibleName(), state.words.spoken);
                EXPECT_EQ(world.item<QLabel>("explanation")->text(), state.words.explanation);
                EXPECT_EQ(world.item<QAbstractButton>("power")->text(), state.words.power);
                for (const auto& [name, text] : state.notes) {
                    EXPECT_EQ(world.item<PanelNote>(name.c_str())->text(), text) << name;
                }
                continue;
            }
            EXPECT_TRUE(world.panel->isRightToLeft());
            world.panel->show();
            QCoreApplication::processEvents(); // lets the nested layouts place their rows
            // Every text a user reads is Arabic, but for the names and what the
            // test itself passed in.
            const std::set<QString> untranslated = {"Staywake", "Night Brew", "⚙",
                                                    "The settings file was unreadable."};
            QStringList texts{header->statusText(), header->accessibleName()};
            for (const auto* label : world.panel->findChildren<QLabel*>()) {
                if (label->isVisible() && !label->text().isEmpty()) {
                    texts << label->text();
                }
            }
            for (const auto* button : world.panel->findChildren<QAbstractButton*>()) {
                if (button->isVisible()) {
                    texts << button->text();
                }
            }
            for (const QString& text : texts) {
                EXPECT_TRUE(untranslated.count(text) || isArabic(text)) << text.toStdString();
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
    const struct {
        std::string name;
        PanelSetup setup;
        std::function<void(PanelWorld&)> before;
        const char* control;
        std::function<void(const PanelWorld&)> check;
    } cases[] = {
        // clang-format off
        {"Turn On starts a session without a deadline", {}, nullptr, "power", [](const PanelWorld& w) {
             EXPECT_TRUE(w.awake->isOn()); EXPECT_FALSE(w.awake->activeUntil().get()); }},
        {"Turn Off while Night Brew is on gives the lease back first", {},
         [](PanelWorld& w) { w.lid->turnOnJoiningSessionOr(600); }, "power", [](const PanelWorld& w) {
             EXPECT_FALSE(w.awake->isOn()); EXPECT_FALSE(w.lid->isOn()); EXPECT_EQ(w.lidBlocker->revokeCount, 1); }},
        {"a preset re-aims the running session", with([](PanelSetup& s) { s.pinned = {1800, 3600}; }),
         [](PanelWorld& w) { w.awake->turnOn(std::nullopt); }, "preset1", [](const PanelWorld& w) {
             EXPECT_EQ(w.awake->activeUntil().get(), w.dates->now() + 3600); }},
        {"the timer is dropped, the session kept", {}, [](PanelWorld& w) { w.awake->turnOn(600); }, "cancelTimer",
         [](const PanelWorld& w) { EXPECT_TRUE(w.awake->isOn()); EXPECT_FALSE(w.awake->activeUntil().get()); }},
        {"Night Brew starts a two-hour session", {}, nullptr, "nightBrew", [](const PanelWorld& w) {
             EXPECT_TRUE(w.lid->isOn()); EXPECT_EQ(w.awake->activeUntil().get(), w.dates->now() + 7200); }},
        {"Night Brew joins a running session", {}, [](PanelWorld& w) { w.awake->turnOn(std::nullopt); },
         "nightBrew", [](const PanelWorld& w) {
             EXPECT_TRUE(w.lid->isOn()); EXPECT_FALSE(w.awake->activeUntil().get()); }},
        {"switching Night Brew off keeps the session", {},
         [](PanelWorld& w) { w.lid->turnOnJoiningSessionOr(std::nullopt); }, "nightBrew", [](const PanelWorld& w) {
             EXPECT_FALSE(w.lid->isOn()); EXPECT_TRUE(w.awake->isOn()); }},
        {"the switch flips while the helper is asked", {}, [](PanelWorld& w) { w.lidBlocker->holdsReplies = true; },
         "nightBrew", [](const PanelWorld& w) {
             EXPECT_TRUE(w.lid->isTurningOn()); EXPECT_TRUE(w.item<PanelSwitch>("nightBrew")->isChecked()); }},
        {"a refused Night Brew switch springs back", {}, [](PanelWorld& w) {
             w.lidBlocker->nextPreparationError = std::make_exception_ptr(LidSleepBlockerError::helperUnavailable()); },
         "nightBrew", [](const PanelWorld& w) {
             EXPECT_FALSE(w.item<PanelSwitch>("nightBrew")->isChecked());
             EXPECT_EQ(w.item<PanelNote>("lidFailure")->text(),
                       "Night Brew can't start because its helper is unavailable."); }},
        {"I understand enables the switch", with([](PanelSetup& s) { s.acknowledged = false; }), nullptr,
         "understand", [](const PanelWorld& w) {
             EXPECT_TRUE(w.lidStore->hasAcknowledgedHeatWarning()); EXPECT_TRUE(w.item("nightBrew")->isEnabled());
             EXPECT_FALSE(w.shows("heatWarning")); }},
        {"Don't retry forgets the refused session", with([](PanelSetup& s) {
             s.stored = StoredAwakeIntent::intent(AwakeIntent::indefinite()); s.refusalCode = -7; }),
         nullptr, "dontRetry", [](const PanelWorld& w) {
             EXPECT_FALSE(w.intents->isAwakeRequested()); EXPECT_FALSE(w.shows("dontRetry"));
             EXPECT_FALSE(w.shows("awakeFailure")); }},
        {"Open at Login registers the app", {}, nullptr, "login", [](const PanelWorld& w) {
             EXPECT_TRUE(w.loginItem->isEnabled()); EXPECT_TRUE(w.item<PanelSwitch>("login")->isChecked()); }},
        {"the login-items link opens the startup settings",
         with([](PanelSetup& s) { s.login = LoginItemState::requiresApproval; }), nullptr, "openLoginItems",
         [](const PanelWorld& w) { EXPECT_EQ(w.openedLoginItems, 1); }},
        {"the link below the approval failure approves the helper", {}, [](PanelWorld& w) {
             w.lidBlocker->nextPreparationError =
                 std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
             w.lid->turnOnJoiningSessionOr(600); },
         "approveHelper", [](const PanelWorld& w) { EXPECT_EQ(w.approvedHelper, 1); }},
        // clang-format on
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        PanelWorld world(each.setup);
        if (each.before) {
            each.before(world);
        }
        if (std::string(each.control) == "preset1") {
            auto buttons = world.item("presets")->findChildren<QPushButton*>();
            ASSERT_EQ(buttons.size(), 2);
            EXPECT_EQ(buttons[0]->text(), "30 min");
            buttons[1]->click();
        } else {
            world.click(each.control);
        }
        each.check(world);
    }
}

TEST(AwakePanel, RefreshesEachTimeItsWindowIsActivated) {
    PanelLanguage english("en");
    for (const bool embedded : {false, true}) {
        SCOPED_TRACE(embedded ? "inside a window" : "as a window");
        QWidget window;
        PanelWorld world;
        if (embedded) {
            world.panel->setParent(&window);
        }
        QWidget* target = embedded ? &window : world.panel.get();
        world.awake->turnOn(60);
        world.lid->turnOnJoiningSessionOr(std::nullopt);
        world.conditions->setOnBattery(true);
        // The session ran out while the machine slept: no timer fired.
        world.pass(61);

        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(target, &activate);
        EXPECT_EQ(world.item<PanelHeader>("header")->statusText(), "Off");
        EXPECT_FALSE(world.lid->isOn());
        EXPECT_TRUE(world.lid->machineConditions().get().isOnBattery);
        EXPECT_EQ(world.item<QAbstractButton>("power")->text(), "Turn On");
    }
}

/// Counts the paints of the widgets it watches.
class PaintCounter final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints[watched];
        }
        return false;
    }
    std::map<QObject*, int> paints;
};

TEST(AwakePanel, CountsDownOnlyWhileVisibleRepaintingOnlyTheHeader) {
    PanelLanguage english("en");
    PanelWorld world;
    world.awake->turnOn(600);
    auto* header = world.item<PanelHeader>("header");
    auto* explanation = world.item("explanation");
    EXPECT_FALSE(header->isTicking());
    world.panel->show();
    EXPECT_TRUE(header->isTicking());
    QCoreApplication::processEvents();
    PaintCounter counter;
    header->installEventFilter(&counter);
    explanation->installEventFilter(&counter);
    world.pass(30);
    EXPECT_TRUE(QTest::qWaitFor([&] { return header->statusText() == "On · 9:30 left"; }, 3000));
    EXPECT_EQ(header->accessibleName(), "Staywake, on, 9 minutes left");
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints[header] > 0; }, 3000));
    EXPECT_EQ(counter.paints[explanation], 0);
    world.panel->hide();
    EXPECT_FALSE(header->isTicking());
}

TEST(AwakePanel, HeaderIsOneAccessibleElementAndSwitchesCarryNamesAndHints) {
    PanelLanguage english("en");
    PanelWorld world(with([](PanelSetup& s) { s.acknowledged = false; }));
    world.panel->show();
    QAccessibleInterface* header = QAccessible::queryAccessibleInterface(world.item("header"));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->text(QAccessible::Name), "Staywake, off");
    EXPECT_EQ(header->role(), QAccessible::StaticText);
    EXPECT_EQ(header->childCount(), 0);

    const auto* nightBrew = world.item("nightBrew");
    EXPECT_EQ(nightBrew->accessibleName(), "Night Brew");
    EXPECT_EQ(nightBrew->accessibleDescription(),
              "With the lid shut and no display attached, heat can build up. Keep your computer out of bags and "
              "other enclosed spaces while it is working.");
    EXPECT_EQ(world.item("understand")->accessibleName(), "I understand the heat warning");
    world.click("understand");
    EXPECT_EQ(nightBrew->accessibleDescription(), "Your computer stays awake with the lid closed.");
    EXPECT_EQ(world.item("login")->accessibleName(), "Open at Login");
}

TEST(AwakePanel, AnimatesTheHeightUnlessMotionIsReduced) {
    PanelLanguage english("en");
    for (const bool reduceMotion : {true, false}) {
        SCOPED_TRACE(reduceMotion ? "reduced motion" : "motion");
        PanelWorld world(with([&](PanelSetup& s) {
            s.pinned = {1800};
            s.reduceMotion = reduceMotion;
        }));
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
