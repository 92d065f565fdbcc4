#include "StaywakeCore/Awake/AwakeIntent.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <vector>

namespace staywake {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

TEST(AwakeIntent, OnlyPositiveFiniteDatesUpToTheDistantFutureAreUsable) {
    const double distantFuture = Date::distantFuture().secondsSince1970;
    const std::vector<std::pair<double, bool>> cases = {
        {0.0, false},
        {-0.0, false},
        {-1.0, false},
        {std::numeric_limits<double>::denorm_min(), true},
        {1'700'000'000.0, true},
        {distantFuture, true},
        {std::nextafter(distantFuture, infinity), false},
        {infinity, false},
        {notANumber, false},
    };
    for (const auto& [seconds, usable] : cases) {
        SCOPED_TRACE(seconds);
        EXPECT_EQ(AwakeIntent::isUsable(Date{seconds}), usable);
    }
}

TEST(AwakeIntent, DeadlineNeedsAPositiveFiniteDurationAndAUsableEnd) {
    const Date start{1'700'000'000};
    const double untilDistantFuture = Date::distantFuture() - start;
    struct Case {
        double duration;
        Date from;
        std::optional<Date> deadline;
    };
    const std::vector<Case> cases = {
        {0.5, start, start + 0.5},
        {0, start, std::nullopt},
        {-60, start, std::nullopt},
        {infinity, start, std::nullopt},
        {notANumber, start, std::nullopt},
        {untilDistantFuture, start, Date::distantFuture()},
        {untilDistantFuture + 1, start, std::nullopt},
        {5, Date{-5}, std::nullopt},
        {5, Date{-4}, Date{1}},
        {5, Date{notANumber}, std::nullopt},
    };
    for (const auto& [duration, from, deadline] : cases) {
        SCOPED_TRACE(testing::Message() << duration << " from " << from.secondsSince1970);
        EXPECT_EQ(AwakeIntent::deadline(duration, from), deadline);
    }
}

// The table-driven tests of the intent are only as good as these inequalities.
TEST(AwakeIntent, ComparesCasesAndDatesExactly) {
    EXPECT_NE(AwakeIntent::until(Date{10}), AwakeIntent::until(Date{std::nextafter(10.0, infinity)}));
    EXPECT_NE(AwakeIntent::off(), AwakeIntent::indefinite());
    EXPECT_NE(StoredAwakeIntent::unreadableDeadline(), StoredAwakeIntent::intent(AwakeIntent::off()));
}

TEST(InMemoryAwakeIntentStore, BuildsItsRecordFromTheFlagAndDate) {
    struct Case {
        bool requested;
        std::optional<Date> until;
        StoredAwakeIntent stored;
    };
    const std::vector<Case> cases = {
        {false, Date{1'800'000'000}, StoredAwakeIntent::intent(AwakeIntent::off())},
        {true, std::nullopt, StoredAwakeIntent::intent(AwakeIntent::indefinite())},
        // The date is kept as given: telling usable from unusable is the
        // controller's job.
        {true, Date{-5}, StoredAwakeIntent::intent(AwakeIntent::until(Date{-5}))},
    };
    for (const auto& [requested, until, stored] : cases) {
        InMemoryAwakeIntentStore store(requested, until);
        EXPECT_EQ(store.load(), stored);
        EXPECT_EQ(store.awakeUntil(), requested ? until : std::nullopt);
    }

    InMemoryAwakeIntentStore unreadable(StoredAwakeIntent::unreadableDeadline());
    EXPECT_TRUE(unreadable.isAwakeRequested());
    EXPECT_EQ(unreadable.awakeUntil(), std::nullopt);
    unreadable.save(AwakeIntent::off());
    EXPECT_FALSE(unreadable.isAwakeRequested());
}

} // namespace
} // namespace staywake
