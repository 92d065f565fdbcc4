#pragma once

#include "Staywake/App/StaywakeApp.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/LoginItem/InMemoryLoginItem.h"
#include "StaywakeCore/Machine/StaticMachineConditions.h"
#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"
#include "Support/Fakes/SilentMachineConditions.h"

#include <string>

namespace staywake::testing {

class NoRegistration final : public LidHelperRegistration {
public:
    void readStatus(StatusHandler handler) const override { handler(LidHelperStatus::notRegistered); }
    void registerHelper(Finished finished) override { finished(nullptr); }
};

/// In-memory mechanisms that write down what the app hands them and when.
struct RecordingMechanisms {
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<InMemorySleepBlocker> blocker = std::make_shared<InMemorySleepBlocker>();
    std::shared_ptr<InMemoryLidSleepBlocker> lidBlocker = std::make_shared<InMemoryLidSleepBlocker>();
    std::optional<std::string> teamIdentifier;
    std::optional<std::string> helperRequirement;
    std::optional<bool> idleLockHeldWhenTheRegistrationWasMade;

    StaywakeApp::Mechanisms mechanisms() {
        StaywakeApp::Mechanisms m;
        m.defaults = defaults;
        m.dates = std::make_shared<FakeDateProvider>();
        m.continuous = std::make_shared<FakeContinuousTimeProvider>();
        m.sleepBlocker = [this] { return blocker; };
        m.scheduler = [] { return std::make_shared<ManualDeadlineScheduler>(); };
        m.recheckNotifier = [] { return std::make_shared<ManualRecheckNotifier>(); };
        m.lidHelperRegistration = [this] {
            idleLockHeldWhenTheRegistrationWasMade = blocker->isEngaged();
            return std::make_shared<NoRegistration>();
        };
        m.teamIdentifier = [this] { return teamIdentifier; };
        m.lidSleepBlocker = [this](std::shared_ptr<LidHelperRegistration>,
                                   std::optional<std::string> requirement) {
            helperRequirement = std::move(requirement);
            return lidBlocker;
        };
        m.conditionsNotifier = [] { return std::make_shared<SilentMachineConditionsNotifier>(); };
        m.conditions = [] { return std::make_shared<StaticMachineConditions>(false, false); };
        m.loginItem = [] { return std::make_shared<InMemoryLoginItem>(LoginItemState::disabled, true); };
        return m;
    }
};

} // namespace staywake::testing
