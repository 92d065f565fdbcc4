#include "StaywakeCore/Awake/AwakeIntent.h"
#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace staywake {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
const double justPastDistantFuture = std::nextafter(Date::distantFuture().secondsSince1970, infinity);

TEST(AwakeIntent, OnlyPositiveFiniteDatesUpToTheDistantFutureAreUsable) {
    struct Case {
        double seconds;
        bool usable;
    };
    const std::vector<Case> cases = {
        {0.0, false},
        {-0.0, false},
        {-1.0, false},
        {std::numeric_limits<double>::denorm_min(), true},
        {1.0, true},
        {1'700'000'000.0, true},
        {Date::distantFuture().secondsSince1970, true},
        {64092211200.0, true},
        {justPastDistantFuture, false},
        {infinity, false},
        {-infinity, false},
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
        {3600, start, start + 3600},
        {0.5, start, start + 0.5},
        {0, start, std::nullopt},
        {-0.0, start, std::nullopt},
        {-60, start, std::nullopt},
        {infinity, start, std::nullopt},
        {-infinity, start, std::nullopt},
        {notANumber, start, std::nullopt},
        {untilDistantFuture, start, Date::distantFuture()},
        {untilDistantFuture + 1, start, std::nullopt},
        {std::numeric_limits<double>::max(), start, std::nullopt},
        {5, Date{-10}, std::nullopt},
        {5, Date{-5}, std::nullopt},
        {5, Date{-4}, Date{1}},
        {5, Date{notANumber}, std::nullopt},
    };
    for (const auto& [duration, from, deadline] : cases) {
        SCOPED_TRACE(testing::Message() << duration << " from " << from.secondsSince1970);
        EXPECT_EQ(AwakeIntent::deadline(duration, from), deadline);
    }
}

TEST(AwakeIntent, ComparesCasesAndDatesExactly) {
    EXPECT_EQ(AwakeIntent::until(Date{10}), AwakeIntent::until(Date{10}));
    EXPECT_NE(AwakeIntent::until(Date{10}), AwakeIntent::until(Date{std::nextafter(10.0, infinity)}));
    EXPECT_NE(AwakeIntent::off(), AwakeIntent::indefinite());
    EXPECT_EQ(AwakeIntent::until(Date{10}).date(), Date{10});
    EXPECT_EQ(AwakeIntent::indefinite().date(), std::nullopt);
    EXPECT_NE(StoredAwakeIntent::unreadableDeadline(), StoredAwakeIntent::intent(AwakeIntent::off()));
}

TEST(InMemoryAwakeIntentStore, BuildsItsRecordFromTheFlagAndDate) {
    struct Case {
        bool requested;
        std::optional<Date> until;
        StoredAwakeIntent stored;
    };
    const std::vector<Case> cases = {
        {false, std::nullopt, StoredAwakeIntent::intent(AwakeIntent::off())},
        {false, Date{1'800'000'000}, StoredAwakeIntent::intent(AwakeIntent::off())},
        {true, std::nullopt, StoredAwakeIntent::intent(AwakeIntent::indefinite())},
        {true, Date{1'800'000'000}, StoredAwakeIntent::intent(AwakeIntent::until(Date{1'800'000'000}))},
        // The date is kept as given: telling usable from unusable is the
        // controller's job.
        {true, Date{-5}, StoredAwakeIntent::intent(AwakeIntent::until(Date{-5}))},
    };
    for (const auto& [requested, until, stored] : cases) {
        InMemoryAwakeIntentStore store(requested, until);
        EXPECT_EQ(store.load(), stored);
        EXPECT_EQ(store.isAwakeRequested(), requested);
        EXPECT_EQ(store.awakeUntil(), requested ? until : std::nullopt);
    }
}

TEST(InMemoryAwakeIntentStore, AnUnreadableDeadlineCountsAsRequestedWithoutADate) {
    InMemoryAwakeIntentStore store(StoredAwakeIntent::unreadableDeadline());
    EXPECT_TRUE(store.isAwakeRequested());
    EXPECT_EQ(store.awakeUntil(), std::nullopt);

    store.save(AwakeIntent::until(Date{2'000'000'000}));
    EXPECT_EQ(store.stored, StoredAwakeIntent::intent(AwakeIntent::until(Date{2'000'000'000})));
    store.save(AwakeIntent::off());
    EXPECT_FALSE(store.isAwakeRequested());
}

} // namespace
} // namespace staywake
