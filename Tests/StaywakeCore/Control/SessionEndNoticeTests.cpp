#include "StaywakeCore/Control/SessionEndNotice.h"

#include <gtest/gtest.h>
#include <limits>
#include <optional>

namespace staywake {
namespace {

TEST(SessionEndNotice, WarnsFiveMinutesAheadOnlyForSessionsOfAQuarterHourOrMore) {
    const Date start{1'700'000'000};
    const struct {
        double length;
        std::optional<double> warningAfter;
    } cases[] = {
        {15 * 60, 10 * 60}, {15 * 60 - 1, std::nullopt}, {3600, 55 * 60},
        {60, std::nullopt}, {-3600, std::nullopt},       {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto& c : cases) {
        const auto warning = SessionEndNotice::warningAt(start, start + c.length);
        ASSERT_EQ(warning.has_value(), c.warningAfter.has_value()) << c.length;
        if (warning) {
            EXPECT_DOUBLE_EQ(*warning - start, *c.warningAfter) << c.length;
        }
    }
}

} // namespace
} // namespace staywake
