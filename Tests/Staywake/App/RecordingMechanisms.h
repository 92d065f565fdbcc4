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
#include <vector>

namespace staywake::testing {

class NoRegistration final : public LidHelperRegistration {
public:
    void readStatus(StatusHandler handler) const override { handler(LidHelperStatus::notRegistered); }
    void registerHelper(Finished finished) override { finished(nullptr); }
};

/// In-memory mechanisms that write down when each one is made.
struct RecordingMechanisms {
    std::vector<std::string> made;
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<FakeDateProvider> dates = std::make_shared<FakeDateProvider>();
    std::shared_ptr<InMemorySleepBlocker> blocker = std::make_shared<InMemorySleepBlocker>();
    std::shared_ptr<InMemoryLidSleepBlocker> lidBlocker = std::make_shared<InMemoryLidSleepBlocker>();
    std::optional<std::string> teamIdentifier;
    std::optional<std::string> helperRequirement;

    StaywakeApp::Mechanisms mechanisms() {
        StaywakeApp::Mechanisms m;
        m.defaults = defaults;
        m.dates = dates;
        m.continuous = std::make_shared<FakeContinuousTimeProvider>();
        m.sleepBlocker = [this] { return note("sleep blocker", blocker); };
        m.scheduler = [this] { return note("scheduler", std::make_shared<ManualDeadlineScheduler>()); };
        m.recheckNotifier = [this] { return note("recheck notifier", std::make_shared<ManualRecheckNotifier>()); };
        m.lidHelperRegistration = [this] {
            return note(blocker->isEngaged() ? "lid helper registration, idle lock held"
                                             : "lid helper registration",
                        std::make_shared<NoRegistration>());
        };
        m.teamIdentifier = [this] { return note("team identifier", teamIdentifier); };
        m.lidSleepBlocker = [this](std::shared_ptr<LidHelperRegistration>,
                                   std::optional<std::string> requirement) {
            helperRequirement = std::move(requirement);
            return note("lid sleep blocker", lidBlocker);
        };
        m.conditionsNotifier = [this] {
            return note("conditions notifier", std::make_shared<SilentMachineConditionsNotifier>());
        };
        m.conditions = [this] {
            return note("conditions", std::make_shared<StaticMachineConditions>(false, false));
        };
        m.loginItem = [this] {
            return note("login item", std::make_shared<InMemoryLoginItem>(LoginItemState::disabled, true));
        };
        return m;
    }

    template <typename T> T note(const char* what, T made_) {
        made.emplace_back(what);
        return made_;
    }
};

} // namespace staywake::testing
