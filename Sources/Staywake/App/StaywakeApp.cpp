#include "Staywake/App/StaywakeApp.h"

#include "StaywakeCore/Awake/UserDefaultsAwakeIntentStore.h"
#include "StaywakeCore/Durations/UserDefaultsPresetDurationStore.h"
#include "StaywakeCore/Lid/UserDefaultsLidAwakeStore.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"

namespace staywake {

namespace {

/// The presets controller borrows its store; this keeps the two together
/// behind the controller's shared pointer.
struct PresetsWithStore {
    explicit PresetsWithStore(UserDefaults& defaults) : store(defaults), controller(store) {}
    UserDefaultsPresetDurationStore store;
    PresetDurationsController controller;
};

} // namespace

StaywakeApp::Controllers StaywakeApp::live(const Mechanisms& mechanisms) {
    auto blocker = mechanisms.sleepBlocker();
    auto intentStore = std::make_shared<UserDefaultsAwakeIntentStore>(mechanisms.defaults);
    auto scheduler = mechanisms.scheduler();
    auto recheck = mechanisms.recheckNotifier();
    auto awake = std::make_shared<AwakeController>(std::move(blocker), std::move(intentStore), mechanisms.dates,
                                                   mechanisms.continuous, std::move(scheduler), std::move(recheck),
                                                   /*restoringPreviousState=*/true);

    auto lid = nightBrew(awake, mechanisms.defaults, mechanisms);

    auto loginItem = std::make_shared<LoginItemController>(mechanisms.loginItem(), /*repairingRegistration=*/true);

    auto presets = std::make_shared<PresetsWithStore>(*mechanisms.defaults);
    return Controllers{std::move(awake), std::move(lid), std::move(loginItem),
                       std::shared_ptr<PresetDurationsController>(presets, &presets->controller)};
}

std::shared_ptr<LidAwakeController> StaywakeApp::nightBrew(std::shared_ptr<AwakeController> riding,
                                                           std::shared_ptr<UserDefaults> defaults,
                                                           const Mechanisms& mechanisms) {
    auto registration = mechanisms.lidHelperRegistration();
    auto requirement = LidHelperService::codeRequirement(LidHelperService::label, mechanisms.teamIdentifier());
    auto blocker = mechanisms.lidSleepBlocker(std::move(registration), std::move(requirement));
    auto store = std::make_shared<UserDefaultsLidAwakeStore>(std::move(defaults));
    auto conditionsNotifier = mechanisms.conditionsNotifier();
    auto renewalScheduler = mechanisms.scheduler();
    auto deadlineScheduler = mechanisms.scheduler();
    return std::make_shared<LidAwakeController>(std::move(riding), std::move(blocker), std::move(store),
                                                mechanisms.conditions(), std::move(conditionsNotifier),
                                                mechanisms.dates, std::move(renewalScheduler),
                                                std::move(deadlineScheduler));
}

} // namespace staywake
