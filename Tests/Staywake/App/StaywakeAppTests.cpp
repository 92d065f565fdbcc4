#include "Staywake/App/StaywakeApp.h"

#include "RecordingMechanisms.h"
#include "StaywakeCore/Awake/UserDefaultsAwakeIntentStore.h"
#include "StaywakeCore/Durations/UserDefaultsPresetDurationStore.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using testing::RecordingMechanisms;

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
        EXPECT_EQ(recording.idleLockHeldWhenTheRegistrationWasMade, c.held) << c.what;
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
