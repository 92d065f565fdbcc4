#include "StaywakeCore/Durations/AwakeDuration.h"
#include "StaywakeCore/Wording/CountdownText.h"
#include "StaywakeCore/Wording/SpokenStatus.h"

#include <gtest/gtest.h>
#include <string>

namespace staywake {
namespace {

// The countdown, the duration label (as the quit confirmation shows the time
// left) and the spoken time left all round down, so they never disagree about
// which minute it is.
TEST(TimeLeftTexts, AgreeAtEveryRoundingBoundary) {
    struct Case {
        double remaining;
        std::string countdown;
        std::string label;
        std::string spoken;
    };
    const Case cases[] = {
        {59.4, "0:59", "0 min", "Staywake, on, less than a minute left"},
        {59.6, "0:59", "0 min", "Staywake, on, less than a minute left"},
        {60, "1:00", "1 min", "Staywake, on, 1 minute left"},
        {60.5, "1:00", "1 min", "Staywake, on, 1 minute left"},
        {119.9, "1:59", "1 min", "Staywake, on, 1 minute left"},
        {3599.5, "59:59", "59 min", "Staywake, on, 59 minutes left"},
        {3600, "1:00:00", "1 hr", "Staywake, on, 1 hour left"},
        {3659.9, "1:00:59", "1 hr", "Staywake, on, 1 hour left"},
        {5399.99, "1:29:59", "1 hr, 29 min", "Staywake, on, 1 hour, 29 minutes left"},
        {7200, "2:00:00", "2 hr", "Staywake, on, 2 hours left"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remaining);
        EXPECT_EQ(CountdownText::formatted(c.remaining, "en_US"), c.countdown);
        EXPECT_EQ(AwakeDuration{c.remaining}.label("en_US"), c.label);
        EXPECT_EQ(SpokenStatus::describing(true, c.remaining).accessibilityLabel("en_US").english(),
                  c.spoken);
    }
}

} // namespace
} // namespace staywake
