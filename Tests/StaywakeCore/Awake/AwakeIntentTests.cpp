#include "StaywakeCore/Awake/AwakeIntent.h"

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

} // namespace
} // namespace staywake
