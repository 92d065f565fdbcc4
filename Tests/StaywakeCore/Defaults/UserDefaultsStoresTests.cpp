#include "StaywakeCore/Awake/UserDefaultsAwakeIntentStore.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "StaywakeCore/Durations/UserDefaultsPresetDurationStore.h"
#include "StaywakeCore/Lid/UserDefaultsLidAwakeStore.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace staywake {
namespace {

using Dictionary = PropertyValue::Dictionary;

const std::string requested(UserDefaultsAwakeIntentStore::isAwakeRequestedKey);
const std::string until(UserDefaultsAwakeIntentStore::awakeUntilKey);
const std::string acknowledged(UserDefaultsLidAwakeStore::key);

TEST(UserDefaults, ReadsBooleansTheWayUserDefaultsDoAndNeverTakesABooleanForANumber) {
    const struct {
        std::optional<PropertyValue> stored;
        bool boolean;
    } cases[] = {{std::nullopt, false},
                 {PropertyValue(true), true},
                 {PropertyValue(0), false},
                 {PropertyValue(0.5), true},
                 {PropertyValue("YES"), true},
                 {PropertyValue("no"), false},
                 {PropertyValue("acknowledged"), false},
                 {PropertyValue(Date{1}), false}};
    for (const auto& c : cases) {
        const auto defaults = std::make_shared<InMemoryUserDefaults>();
        if (c.stored) {
            defaults->set(acknowledged, *c.stored);
        }
        SCOPED_TRACE(::testing::PrintToString(defaults->values()));
        EXPECT_EQ(defaults->boolean(acknowledged), c.boolean);
        // The heat-warning acknowledgement is read by exactly this rule.
        EXPECT_EQ(UserDefaultsLidAwakeStore(defaults).hasAcknowledgedHeatWarning(), c.boolean);
    }
    EXPECT_EQ(PropertyValue(true).number(), std::nullopt);
    EXPECT_EQ(PropertyValue(std::int64_t{1700000000}).number(), 1700000000.0);
}

TEST(UserDefaultsAwakeIntentStore, ReadsTheIntentByTheTypeRulesOfTheTwoKeys) {
    const auto unreadable = StoredAwakeIntent::unreadableDeadline();
    const auto off = StoredAwakeIntent::intent(AwakeIntent::off());
    const auto indefinite = StoredAwakeIntent::intent(AwakeIntent::indefinite());
    const auto untilDate = [](double seconds) {
        return StoredAwakeIntent::intent(AwakeIntent::until(Date{seconds}));
    };
    const double distantFuture = Date::distantFuture().secondsSince1970;
    const double pastDistantFuture = std::nextafter(distantFuture, std::numeric_limits<double>::infinity());
    const struct {
        std::string name;
        Dictionary values;
        StoredAwakeIntent expected;
    } cases[] = {
        {"empty", {}, off},
        {"requested, no deadline", {{requested, true}}, indefinite},
        {"requested as the text YES", {{requested, "YES"}}, indefinite},
        {"requested false", {{requested, false}, {until, 1.8e9}}, off},
        {"a real deadline", {{requested, true}, {until, 1.8e9 + 0.5}}, untilDate(1.8e9 + 0.5)},
        {"an integer deadline",
         {{requested, true}, {until, std::int64_t{1'700'000'000}}},
         untilDate(1'700'000'000)},
        {"the distant future", {{requested, true}, {until, distantFuture}}, untilDate(distantFuture)},
        {"past the distant future", {{requested, true}, {until, pastDistantFuture}}, unreadable},
        {"a text deadline", {{requested, true}, {until, "1700000000"}}, unreadable},
        {"a Boolean deadline", {{requested, true}, {until, true}}, unreadable},
        {"zero", {{requested, true}, {until, 0}}, unreadable},
        {"not a number", {{requested, true}, {until, std::numeric_limits<double>::quiet_NaN()}}, unreadable},
    };
    for (const auto& [name, values, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(UserDefaultsAwakeIntentStore(std::make_shared<InMemoryUserDefaults>(values)).load(), expected);
    }
}

// What each store leaves in the defaults: typed values (a Boolean is not a
// number, a duration is a real), keys it has no value for taken away, and
// every other key left alone.
TEST(UserDefaultsStores, WriteTypedValuesUnderTheirKeys) {
    const auto defaults = std::make_shared<InMemoryUserDefaults>();
    UserDefaultsAwakeIntentStore intents(defaults);
    UserDefaultsLidAwakeStore lid(defaults);
    UserDefaultsPresetDurationStore presets(*defaults);
    const std::string presetsKey = "com.staywake.presetDurations";
    const struct {
        const char* step;
        std::function<void()> write;
        Dictionary values;
    } steps[] = {
        {"a deadline",
         [&] { intents.save(AwakeIntent::until(Date{1.8e9})); },
         {{requested, true}, {until, 1.8e9}}},
        // An old deadline may stay behind: off never reads it.
        {"off", [&] { intents.save(AwakeIntent::off()); }, {{until, 1.8e9}}},
        {"indefinite", [&] { intents.save(AwakeIntent::indefinite()); }, {{requested, true}}},
        {"acknowledged",
         [&] { lid.setHasAcknowledgedHeatWarning(true); },
         {{requested, true}, {acknowledged, true}}},
        {"not acknowledged",
         [&] { lid.setHasAcknowledgedHeatWarning(false); },
         {{requested, true}, {acknowledged, false}}},
        {"pinned",
         [&] {
             presets.setPinnedSeconds(std::vector<double>{1800, 28800});
         },
         {{requested, true}, {acknowledged, false}, {presetsKey, PropertyValue::Array{1800.0, 28800.0}}}},
        {"never chose",
         [&] { presets.setPinnedSeconds(std::nullopt); },
         {{requested, true}, {acknowledged, false}}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        s.write();
        EXPECT_EQ(defaults->values(), s.values);
    }
    EXPECT_EQ(intents.load(), StoredAwakeIntent::intent(AwakeIntent::indefinite()));
    EXPECT_FALSE(lid.hasAcknowledgedHeatWarning());
}

} // namespace
} // namespace staywake
