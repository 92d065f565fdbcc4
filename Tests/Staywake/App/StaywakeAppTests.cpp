#include "Staywake/App/StaywakeApp.h"

#include "Support/Fakes/FakeClocks.h"
#include "Support/Fakes/ManualScheduling.h"
#include "StaywakeCore/Awake/InMemorySleepBlocker.h"
#include "StaywakeCore/Awake/UserDefaultsAwakeIntentStore.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "StaywakeCore/Durations/UserDefaultsPresetDurationStore.h"
#include "StaywakeCore/Lid/InMemoryLidSleepBlocker.h"
#include "StaywakeCore/LoginItem/InMemoryLoginItem.h"
#include "StaywakeCore/Machine/StaticMachineConditions.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using testing::FakeContinuousTimeProvider;
using testing::FakeDateProvider;
using testing::ManualDeadlineScheduler;
using testing::ManualRecheckNotifier;

class NoConditionChanges final : public MachineConditionsNotifier {
public:
    void observe(Handler) override {}
};

class NoRegistration final : public LidHelperRegistration {
public:
    LidHelperStatus status() const override { return LidHelperStatus::notRegistered; }
    void registerHelper() override {}
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
        m.lidSleepBlocker = [this](std::shared_ptr<LidHelperRegistration>, std::optional<std::string> requirement) {
            helperRequirement = std::move(requirement);
            return note("lid sleep blocker", lidBlocker);
        };
        m.conditionsNotifier = [this] { return note("conditions notifier", std::make_shared<NoConditionChanges>()); };
        m.conditions = [this] { return note("conditions", std::make_shared<StaticMachineConditions>(false, false)); };
        m.loginItem = [this] {
            return note("login item", std::make_shared<InMemoryLoginItem>(LoginItemState::disabled, true));
        };
        return m;
    }

    template <typename T>
    T note(const char* what, T made_) {
        made.emplace_back(what);
        return made_;
    }
};

TEST(StaywakeApp, MakesEachMechanismOnceInTheOrderItsControllerIsBuilt) {
    RecordingMechanisms recording;
    UserDefaultsAwakeIntentStore(recording.defaults).save(AwakeIntent::indefinite());

    const auto controllers = StaywakeApp::live(recording.mechanisms());

    const std::vector<std::string> expected = {
        "sleep blocker",   "scheduler",           "recheck notifier",  "lid helper registration, idle lock held",
        "team identifier", "lid sleep blocker",   "conditions notifier", "scheduler",
        "scheduler",       "conditions",          "login item",
    };
    EXPECT_EQ(recording.made, expected);
    EXPECT_TRUE(controllers.awake->isOn().get());
    EXPECT_FALSE(controllers.lid->isOn().get());
}

TEST(StaywakeApp, AStoredSessionStillAheadHoldsTheIdleLockBeforeAnythingElseIsBuilt) {
    const struct {
        const char* what;
        std::optional<AwakeIntent> stored;
        bool held;
    } cases[] = {
        {"indefinite", AwakeIntent::indefinite(), true},
        {"an hour ahead", AwakeIntent::until(Date{1'700'000'000 + 3600}), true},
        {"an hour ago", AwakeIntent::until(Date{1'700'000'000 - 3600}), false},
        {"off", AwakeIntent::off(), false},
        {"nothing stored", std::nullopt, false},
    };
    for (const auto& c : cases) {
        RecordingMechanisms recording;
        if (c.stored) {
            UserDefaultsAwakeIntentStore(recording.defaults).save(*c.stored);
        }
        const auto controllers = StaywakeApp::live(recording.mechanisms());
        EXPECT_EQ(recording.made.at(3) == "lid helper registration, idle lock held", c.held) << c.what;
        EXPECT_EQ(controllers.awake->isOn().get(), c.held) << c.what;
    }
}

TEST(StaywakeApp, NightBrewHoldsTheHelperToTheTeamsRequirementWithoutContactingIt) {
    const struct {
        std::optional<std::string> team;
        bool hasRequirement;
    } cases[] = {{"ABCDE12345", true}, {std::nullopt, false}, {"not a team", false}};
    for (const auto& c : cases) {
        RecordingMechanisms recording;
        recording.teamIdentifier = c.team;
        UserDefaultsAwakeIntentStore(recording.defaults).save(AwakeIntent::indefinite());

        const auto controllers = StaywakeApp::live(recording.mechanisms());

        ASSERT_EQ(recording.helperRequirement.has_value(), c.hasRequirement) << c.team.value_or("(none)");
        if (c.hasRequirement) {
            EXPECT_NE(recording.helperRequirement->find(*c.team), std::string::npos);
            EXPECT_NE(recording.helperRequirement->find("com.staywake.app.lidhelper"), std::string::npos);
        }
        EXPECT_EQ(recording.lidBlocker->prepareCount + recording.lidBlocker->renewCount, 0);
    }
}

TEST(StaywakeApp, PresetsReadAndWriteTheDefaultsForAsLongAsTheControllerLives) {
    RecordingMechanisms recording;
    UserDefaultsPresetDurationStore(*recording.defaults).setPinnedSeconds(std::vector<double>{3600});

    auto presets = StaywakeApp::live(recording.mechanisms()).presets;
    EXPECT_EQ(presets->pinned().get(), std::vector<AwakeDuration>{AwakeDuration{3600}});

    presets->pin({AwakeDuration{1800}, AwakeDuration{7200}});
    EXPECT_EQ(UserDefaultsPresetDurationStore(*recording.defaults).pinnedSeconds(),
              (std::vector<double>{1800, 7200}));
}

} // namespace
} // namespace staywake
