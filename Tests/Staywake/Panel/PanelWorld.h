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

#include <QGuiApplication>
#include <QPushButton>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

/// Lets test failures print texts readably.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace staywake::testing {

/// The app's translations for one language and its layout direction, for as
/// long as the object lives.
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

/// What a panel is built over.
struct PanelSetup {
    StoredAwakeIntent stored = StoredAwakeIntent::intent(AwakeIntent::off());
    std::optional<std::int32_t> refusalCode;
    std::vector<double> pinned;
    bool acknowledged = true;
    bool onBattery = false;
    bool externalDisplay = false;
    LoginItemState login = LoginItemState::disabled;
    bool stableLocation = true;
    bool reduceMotion = true;
};

/// The default setup with some changes.
inline PanelSetup with(const std::function<void(PanelSetup&)>& change) {
    PanelSetup setup;
    change(setup);
    return setup;
}

/// A conditions notifier that never fires: the tests change conditions and
/// ask the controller to refresh, as the panel's opening does.
class QuietConditionsNotifier final : public MachineConditionsNotifier {
public:
    void observe(Handler) override {}
};

/// The four controllers over in-memory mechanisms and fake clocks, and a
/// panel over them in the current language.
struct PanelWorld {
    explicit PanelWorld(const PanelSetup& setup = {}, const std::string& locale = "en") {
        blocker->refusalCode = setup.refusalCode;
        intents->stored = setup.stored;
        presetStore = std::make_unique<InMemoryPresetDurationStore>(setup.pinned);
        lidStore->setHasAcknowledgedHeatWarning(setup.acknowledged);
        conditions->setOnBattery(setup.onBattery);
        conditions->setHasExternalDisplay(setup.externalDisplay);
        awake = std::make_shared<AwakeController>(blocker, intents, dates, continuous, awakeTimer, recheck, true);
        lid = std::make_shared<LidAwakeController>(awake, lidBlocker, lidStore, conditions,
                                                   std::make_shared<QuietConditionsNotifier>(), dates, leaseTimer,
                                                   lidDeadlineTimer);
        loginItem = std::make_shared<LoginItemController>(
            std::make_shared<InMemoryLoginItem>(setup.login, setup.stableLocation), false);
        presets = std::make_shared<PresetDurationsController>(*presetStore);
        auto* settingsRow = new QPushButton(QStringLiteral("⚙"));
        settingsRow->setObjectName(QStringLiteral("settingsRow"));
        AwakePanel::Links links{[this] { ++openedLoginItems; }, [this] { ++approvedHelper; }};
        panel = std::make_unique<AwakePanel>(
            awake, loginItem, presets, lid, [] {}, settingsRow, links, locale, setup.reduceMotion);
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
    std::shared_ptr<ManualDeadlineScheduler> awakeTimer = std::make_shared<ManualDeadlineScheduler>();
    std::shared_ptr<ManualRecheckNotifier> recheck = std::make_shared<ManualRecheckNotifier>();
    std::shared_ptr<InMemoryLidSleepBlocker> lidBlocker = std::make_shared<InMemoryLidSleepBlocker>();
    std::shared_ptr<InMemoryLidAwakeStore> lidStore = std::make_shared<InMemoryLidAwakeStore>();
    std::shared_ptr<StaticMachineConditions> conditions = std::make_shared<StaticMachineConditions>(false, false);
    std::shared_ptr<ManualDeadlineScheduler> leaseTimer = std::make_shared<ManualDeadlineScheduler>();
    std::shared_ptr<ManualDeadlineScheduler> lidDeadlineTimer = std::make_shared<ManualDeadlineScheduler>();
    std::unique_ptr<InMemoryPresetDurationStore> presetStore;

    std::shared_ptr<AwakeController> awake;
    std::shared_ptr<LidAwakeController> lid;
    std::shared_ptr<LoginItemController> loginItem;
    std::shared_ptr<PresetDurationsController> presets;
    int openedLoginItems = 0;
    int approvedHelper = 0;
    std::unique_ptr<AwakePanel> panel;
};

} // namespace staywake::testing
