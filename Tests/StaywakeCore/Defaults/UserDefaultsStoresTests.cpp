#include "StaywakeCore/Awake/UserDefaultsAwakeIntentStore.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "StaywakeCore/Durations/UserDefaultsPresetDurationStore.h"
#include "StaywakeCore/Lid/UserDefaultsLidAwakeStore.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using Dictionary = PropertyValue::Dictionary;

const std::string requested(UserDefaultsAwakeIntentStore::isAwakeRequestedKey);
const std::string until(UserDefaultsAwakeIntentStore::awakeUntilKey);
const std::string acknowledged(UserDefaultsLidAwakeStore::key);

TEST(UserDefaults, ReadsBooleansTheWayUserDefaultsDoAndNeverTakesABooleanForANumber) {
    const std::pair<std::optional<PropertyValue>, bool> cases[] = {
        // clang-format off
        {std::nullopt, false}, {PropertyValue(true), true}, {PropertyValue(0), false}, {PropertyValue(0.5), true},
        {PropertyValue("YES"), true}, {PropertyValue("no"), false}, {PropertyValue("acknowledged"), false},
        {PropertyValue(Date{1}), false},
        // clang-format on
    };
    for (const auto& [stored, boolean] : cases) {
        const auto defaults = std::make_shared<InMemoryUserDefaults>();
        if (stored) {
            defaults->set(acknowledged, *stored);
        }
        EXPECT_EQ(defaults->boolean(acknowledged), boolean) << ::testing::PrintToString(defaults->values());
        // The heat-warning acknowledgement is read by exactly this rule.
        EXPECT_EQ(UserDefaultsLidAwakeStore(defaults).hasAcknowledgedHeatWarning(), boolean);
    }
}

TEST(UserDefaultsAwakeIntentStore, ReadsTheIntentByTheTypeRulesOfTheTwoKeys) {
    const auto unreadable = StoredAwakeIntent::unreadableDeadline();
    const auto off = StoredAwakeIntent::intent(AwakeIntent::off());
    const auto indefinite = StoredAwakeIntent::intent(AwakeIntent::indefinite());
    const auto on = [](double seconds) { return StoredAwakeIntent::intent(AwakeIntent::until(Date{seconds})); };
    const std::pair<Dictionary, StoredAwakeIntent> cases[] = {
        // clang-format off
        {{}, off}, {{{requested, true}}, indefinite}, {{{requested, false}, {until, 1.8e9}}, off},
        {{{requested, true}, {until, 1.8e9 + 0.5}}, on(1.8e9 + 0.5)},
        {{{requested, true}, {until, std::int64_t{1'700'000'000}}}, on(1'700'000'000)},
        {{{requested, true}, {until, "1700000000"}}, unreadable}, {{{requested, true}, {until, true}}, unreadable},
        {{{requested, true}, {until, 0}}, unreadable}, // which dates are usable is AwakeIntent's rule
        // clang-format on
    };
    for (const auto& [values, expected] : cases) {
        EXPECT_EQ(UserDefaultsAwakeIntentStore(std::make_shared<InMemoryUserDefaults>(values)).load(), expected)
            << ::testing::PrintToString(values);
    }
}

// Typed values (a duration is a real), keys without a value taken away, every other key left alone.
TEST(UserDefaultsStores, WriteTypedValuesUnderTheirKeys) {
    const auto defaults = std::make_shared<InMemoryUserDefaults>();
    UserDefaultsAwakeIntentStore intents(defaults);
    UserDefaultsLidAwakeStore lid(defaults);
    UserDefaultsPresetDurationStore presetStore(*defaults);
    const std::string presets = "com.staywake.presetDurations";
    const std::pair<std::function<void()>, Dictionary> steps[] = {
        // clang-format off
        {[&] { intents.save(AwakeIntent::until(Date{1.8e9})); }, {{requested, true}, {until, 1.8e9}}},
        {[&] { intents.save(AwakeIntent::off()); }, {{until, 1.8e9}}}, // off never reads an old deadline
        {[&] { intents.save(AwakeIntent::indefinite()); }, {{requested, true}}},
        {[&] { lid.setHasAcknowledgedHeatWarning(true); }, {{requested, true}, {acknowledged, true}}},
        {[&] { lid.setHasAcknowledgedHeatWarning(false); }, {{requested, true}, {acknowledged, false}}},
        {[&] { presetStore.setPinnedSeconds(std::vector<double>{1800, 28800}); },
         {{requested, true}, {acknowledged, false}, {presets, PropertyValue::Array{1800.0, 28800.0}}}},
        {[&] { presetStore.setPinnedSeconds(std::nullopt); }, {{requested, true}, {acknowledged, false}}},
        // clang-format on
    };
    for (std::size_t step = 0; step < std::size(steps); ++step) {
        steps[step].first();
        EXPECT_EQ(defaults->values(), steps[step].second) << "step " << step;
    }
}

} // namespace
} // namespace staywake
