#pragma once

#include "Staywake/Panel/AwakePanel.h"
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

#include <QGuiApplication>
#include <QPushButton>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace staywake::testing {

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
inline const std::vector<const char*> optionalItems = {
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

inline PanelSetup refusedAtLaunch() {
    return {.stored = StoredAwakeIntent::intent(AwakeIntent::indefinite()), .refusalCode = -7};
}

inline std::vector<PanelState> panelStates() {
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

} // namespace staywake::testing
