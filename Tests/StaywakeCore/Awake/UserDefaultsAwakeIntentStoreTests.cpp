#include "StaywakeCore/Awake/UserDefaultsAwakeIntentStore.h"
#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace staywake {
namespace {

const std::string requested(UserDefaultsAwakeIntentStore::isAwakeRequestedKey);
const std::string until(UserDefaultsAwakeIntentStore::awakeUntilKey);

TEST(UserDefaultsAwakeIntentStore, ReadsTheIntentByTheTypeRulesOfTheTwoKeys) {
    const auto unreadable = StoredAwakeIntent::unreadableDeadline();
    const auto off = StoredAwakeIntent::intent(AwakeIntent::off());
    const auto indefinite = StoredAwakeIntent::intent(AwakeIntent::indefinite());
    const auto untilDate = [](double seconds) {
        return StoredAwakeIntent::intent(AwakeIntent::until(Date{seconds}));
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        std::string name;
        PropertyValue::Dictionary values;
        StoredAwakeIntent expected;
    };
    const std::vector<Case> cases = {
        {"empty", {}, off},
        {"requested, no deadline", {{requested, true}}, indefinite},
        {"requested as the text YES", {{requested, "YES"}}, indefinite},
        {"requested as the integer 1", {{requested, 1}}, indefinite},
        {"requested false", {{requested, false}, {until, 1.8e9}}, off},
        {"not requested, any deadline", {{until, "garbage"}}, off},
        {"a real deadline", {{requested, true}, {until, 1.8e9 + 0.5}}, untilDate(1.8e9 + 0.5)},
        {"an integer deadline",
         {{requested, true}, {until, std::int64_t{1'700'000'000}}},
         untilDate(1'700'000'000)},
        {"the distant future", {{requested, true}, {until, 64092211200.0}}, untilDate(64092211200.0)},
        {"past the distant future",
         {{requested, true}, {until, std::nextafter(64092211200.0, infinity)}},
         unreadable},
        {"an integer past the distant future",
         {{requested, true}, {until, std::int64_t{64092211201}}},
         unreadable},
        {"a text deadline", {{requested, true}, {until, "1700000000"}}, unreadable},
        {"a Boolean deadline", {{requested, true}, {until, true}}, unreadable},
        {"a date object", {{requested, true}, {until, Date{1.8e9}}}, unreadable},
        {"an array", {{requested, true}, {until, PropertyValue::Array{1.8e9}}}, unreadable},
        {"zero", {{requested, true}, {until, 0}}, unreadable},
        {"a negative integer", {{requested, true}, {until, std::int64_t{-1'700'000'000}}}, unreadable},
        {"not a number", {{requested, true}, {until, nan}}, unreadable},
    };
    for (const auto& [name, values, expected] : cases) {
        SCOPED_TRACE(name);
        UserDefaultsAwakeIntentStore store(std::make_shared<InMemoryUserDefaults>(values));
        EXPECT_EQ(store.load(), expected);
    }
}

TEST(UserDefaultsAwakeIntentStore, WritesTheTwoKeysAndLeavesAnOldDeadlineBehindWhenTurnedOff) {
    const auto defaults = std::make_shared<InMemoryUserDefaults>();
    UserDefaultsAwakeIntentStore store(defaults);

    store.save(AwakeIntent::until(Date{1.8e9}));
    EXPECT_EQ(defaults->values(), (PropertyValue::Dictionary{{requested, true}, {until, 1.8e9}}));
    EXPECT_EQ(store.load(), StoredAwakeIntent::intent(AwakeIntent::until(Date{1.8e9})));

    store.save(AwakeIntent::off());
    EXPECT_EQ(defaults->values(), (PropertyValue::Dictionary{{until, 1.8e9}}));
    EXPECT_EQ(store.load(), StoredAwakeIntent::intent(AwakeIntent::off()));

    store.save(AwakeIntent::indefinite());
    EXPECT_EQ(defaults->values(), (PropertyValue::Dictionary{{requested, true}}));
    EXPECT_EQ(store.load(), StoredAwakeIntent::intent(AwakeIntent::indefinite()));
}

} // namespace
} // namespace staywake
