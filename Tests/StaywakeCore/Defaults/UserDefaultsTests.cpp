#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(PropertyValue, ABooleanIsNeverANumber) {
    EXPECT_EQ(PropertyValue(true).number(), std::nullopt);
    EXPECT_EQ(PropertyValue(std::int64_t{1700000000}).number(), 1700000000.0);
    EXPECT_EQ(PropertyValue(-2.5).number(), -2.5);
    EXPECT_EQ(PropertyValue("12").number(), std::nullopt);
    EXPECT_EQ(PropertyValue(Date{12}).number(), std::nullopt);
    EXPECT_NE(PropertyValue(true), PropertyValue(1));
}

TEST(UserDefaults, ReadsBooleansTheWayUserDefaultsDo) {
    struct Case {
        std::optional<PropertyValue> stored;
        bool expected;
    };
    const Case cases[] = {
        {std::nullopt, false},        {PropertyValue(true), true},   {PropertyValue(false), false},
        {PropertyValue(1), true},     {PropertyValue(0), false},     {PropertyValue(0.5), true},
        {PropertyValue("YES"), true}, {PropertyValue("true"), true}, {PropertyValue("no"), false},
        {PropertyValue(Date{1}), false},
    };
    for (const auto& c : cases) {
        InMemoryUserDefaults defaults;
        if (c.stored) {
            defaults.set("key", *c.stored);
        }
        EXPECT_EQ(defaults.boolean("key"), c.expected);
    }
}

TEST(InMemoryUserDefaults, SetsReplacesAndRemoves) {
    InMemoryUserDefaults defaults;
    defaults.set("a", 1);
    defaults.set("a", "text");
    EXPECT_EQ(defaults.object("a"), PropertyValue("text"));
    defaults.removeObject("a");
    defaults.removeObject("never-there");
    EXPECT_EQ(defaults.object("a"), std::nullopt);
}

} // namespace
} // namespace staywake
