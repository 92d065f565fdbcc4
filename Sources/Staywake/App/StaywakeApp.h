#pragma once

#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Awake/SleepBlocker.h"
#include "StaywakeCore/Clock/Clocks.h"
#include "StaywakeCore/Clock/DeadlineRecheckNotifier.h"
#include "StaywakeCore/Clock/DeadlineScheduler.h"
#include "StaywakeCore/Defaults/UserDefaults.h"
#include "StaywakeCore/Durations/PresetDurationsController.h"
#include "StaywakeCore/Lid/LidAwakeController.h"
#include "StaywakeCore/Lid/LidHelperRegistration.h"
#include "StaywakeCore/Lid/LidSleepBlocker.h"
#include "StaywakeCore/LoginItem/LoginItem.h"
#include "StaywakeCore/LoginItem/LoginItemController.h"
#include "StaywakeCore/Machine/MachineConditions.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

/// Builds the app's four controllers, once, at start. They live until the
/// process ends; the views only observe them and call their operations.
class StaywakeApp final {
public:
    /// The system's side of everything the controllers use. Each factory is
    /// called exactly once, in the order the controllers need them (the
    /// scheduler three times), so that nothing touches the system before the
    /// controller it belongs to is built: linuxMechanisms() makes the real
    /// ones, tests in-memory ones.
    struct Mechanisms {
        std::shared_ptr<UserDefaults> defaults;
        std::shared_ptr<const DateProvider> dates;
        std::shared_ptr<const ContinuousTimeProvider> continuous;
        std::function<std::shared_ptr<SleepBlocker>()> sleepBlocker;
        std::function<std::shared_ptr<DeadlineScheduler>()> scheduler;
        std::function<std::shared_ptr<DeadlineRecheckNotifier>()> recheckNotifier;
        std::function<std::shared_ptr<LidHelperRegistration>()> lidHelperRegistration;
        std::function<std::optional<std::string>()> teamIdentifier;
        std::function<std::shared_ptr<LidSleepBlocker>(std::shared_ptr<LidHelperRegistration> registration,
                                                       std::optional<std::string> helperRequirement)>
            lidSleepBlocker;
        std::function<std::shared_ptr<MachineConditionsNotifier>()> conditionsNotifier;
        std::function<std::shared_ptr<const MachineConditions>()> conditions;
        std::function<std::shared_ptr<LoginItem>()> loginItem;
    };

    struct Controllers {
        std::shared_ptr<AwakeController> awake;
        std::shared_ptr<LidAwakeController> lid;
        std::shared_ptr<LoginItemController> loginItem;
        /// Keeps its store alive with it.
        std::shared_ptr<PresetDurationsController> presets;
    };

    /// The awake controller restores the stored session while it is built, so
    /// a session that was on when the app last ended holds the idle lock
    /// again before any window exists. The login item is repaired (an
    /// enabled item at a stable location registered again).
    static Controllers live(const Mechanisms& mechanisms);

    /// Night Brew riding on `riding`. Neither registers nor contacts the lid
    /// helper: that waits until the user first turns Night Brew on.
    static std::shared_ptr<LidAwakeController> nightBrew(std::shared_ptr<AwakeController> riding,
                                                         std::shared_ptr<UserDefaults> defaults,
                                                         const Mechanisms& mechanisms);
};

} // namespace staywake
