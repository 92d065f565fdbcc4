#include "StaywakeCore/Control/HoldBook.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace staywake {
namespace {

TEST(HoldBook, EndsAHoldOnlyForItsOwnerAndNeverReusesAnId) {
    HoldBook book;
    const auto first = book.add(":1.1", "backup");
    const auto second = book.add(":1.2", "render");
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, 0u);
    EXPECT_NE(*first, *second);

    const struct {
        std::string owner;
        std::uint32_t id;
        bool released;
    } steps[] = {
        {":1.2", *first, false}, // someone else's hold
        {":1.1", *first, true},
        {":1.1", *first, false}, // already gone
        {":1.2", 999, false},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(book.release(step.owner, step.id), step.released) << step.owner << " " << step.id;
    }
    const auto third = book.add(":1.1", "backup");
    ASSERT_TRUE(third);
    EXPECT_GT(*third, *second);
    EXPECT_EQ(book.holders(), (std::vector<std::string>{"render", "backup"}));
}

TEST(HoldBook, CapsHoldsPerConnectionAndDropsThemAllWhenItGoes) {
    HoldBook book;
    for (std::size_t i = 0; i < HoldBook::perOwnerLimit; ++i) {
        ASSERT_TRUE(book.add(":1.7", "loop"));
    }
    EXPECT_FALSE(book.add(":1.7", "loop"));
    EXPECT_TRUE(book.add(":1.8", "other"));
    EXPECT_EQ(book.holders(), (std::vector<std::string>{"loop", "other"}));

    EXPECT_EQ(book.releaseAll(":1.7"), HoldBook::perOwnerLimit);
    EXPECT_FALSE(book.hasOwner(":1.7"));
    EXPECT_TRUE(book.add(":1.7", "again"));
    EXPECT_EQ(book.releaseAll(":1.8"), 1u);
    EXPECT_EQ(book.releaseAll(":1.7"), 1u);
    EXPECT_TRUE(book.isEmpty());
}

} // namespace
} // namespace staywake
