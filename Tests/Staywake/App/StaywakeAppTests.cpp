#include "Staywake/App/StaywakeApp.h"

#include "RecordingMechanisms.h"
#include "StaywakeCore/Awake/UserDefaultsAwakeIntentStore.h"
#include "StaywakeCore/Durations/UserDefaultsPresetDurationStore.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using testing::RecordingMechanisms;

TEST(StaywakeApp, AStoredSessionStillAheadHoldsTheIdleLockBeforeAnythingElseIsBuilt) {
    const std::pair<std::optional<AwakeIntent>, bool> cases[] = {
        {AwakeIntent::indefinite(), true},
        {AwakeIntent::until(Date{1'700'000'000 + 3600}), true}, // the fake clock stands at 1'700'000'000
        {AwakeIntent::until(Date{1'700'000'000 - 3600}), false},
        {std::nullopt, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& [stored, held] = cases[i];
        RecordingMechanisms recording;
        if (stored) {
            UserDefaultsAwakeIntentStore(recording.defaults).save(*stored);
        }
        const auto controllers = StaywakeApp::live(recording.mechanisms());
        EXPECT_EQ(recording.idleLockHeldWhenTheRegistrationWasMade, held) << "case " << i;
        EXPECT_EQ(controllers.awake->isOn().get(), held) << "case " << i;
    }
}

TEST(StaywakeApp, NightBrewHoldsTheHelperToTheTeamsRequirementWithoutContactingIt) {
    for (const auto& team : std::vector<std::optional<std::string>>{"ABCDE12345", std::nullopt}) {
        RecordingMechanisms recording;
        recording.teamIdentifier = team;
        UserDefaultsAwakeIntentStore(recording.defaults).save(AwakeIntent::indefinite());
        const auto controllers = StaywakeApp::live(recording.mechanisms());
        ASSERT_EQ(recording.helperRequirement.has_value(), team.has_value());
        if (team) {
            EXPECT_NE(recording.helperRequirement->find(*team), std::string::npos);
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
