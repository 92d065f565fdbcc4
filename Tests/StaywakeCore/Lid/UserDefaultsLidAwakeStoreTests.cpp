#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "StaywakeCore/Lid/InMemoryLidAwakeStore.h"
#include "StaywakeCore/Lid/UserDefaultsLidAwakeStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace staywake {
namespace {

const std::string key = "com.staywake.acknowledgedHeatWarning";

TEST(UserDefaultsLidAwakeStore, ReadsTheStoredValueTheWayDefaultsReadBooleans) {
    struct Case {
        std::string name;
        std::optional<PropertyValue> stored;
        bool acknowledged;
    };
    const std::vector<Case> cases = {
        {"missing", std::nullopt, false},
        {"true", PropertyValue(true), true},
        {"false", PropertyValue(false), false},
        {"a number other than 0", PropertyValue(1), true},
        {"0", PropertyValue(0), false},
        {"the text YES", PropertyValue("YES"), true},
        {"some other text", PropertyValue("acknowledged"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto defaults = std::make_shared<InMemoryUserDefaults>();
        if (c.stored) {
            defaults->set(key, *c.stored);
        }
        EXPECT_EQ(UserDefaultsLidAwakeStore(defaults).hasAcknowledgedHeatWarning(), c.acknowledged);
    }
}

TEST(UserDefaultsLidAwakeStore, WritesABooleanThatAnotherStoreOnTheSameDefaultsSees) {
    auto defaults = std::make_shared<InMemoryUserDefaults>();
    UserDefaultsLidAwakeStore writer(defaults);
    UserDefaultsLidAwakeStore reader(defaults);
    EXPECT_FALSE(reader.hasAcknowledgedHeatWarning());

    writer.setHasAcknowledgedHeatWarning(true);
    EXPECT_EQ(defaults->object(key), PropertyValue(true)) << "kept as a Boolean, not a number";
    EXPECT_TRUE(reader.hasAcknowledgedHeatWarning());

    writer.setHasAcknowledgedHeatWarning(false);
    EXPECT_EQ(defaults->object(key), PropertyValue(false));
    EXPECT_FALSE(reader.hasAcknowledgedHeatWarning());
}

TEST(InMemoryLidAwakeStore, KeepsWhatItIsGiven) {
    InMemoryLidAwakeStore store(true);
    EXPECT_TRUE(store.hasAcknowledgedHeatWarning());
    store.setHasAcknowledgedHeatWarning(false);
    EXPECT_FALSE(store.hasAcknowledgedHeatWarning());
}

} // namespace
} // namespace staywake
