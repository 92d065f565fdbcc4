#include "StaywakeCore/Durations/AwakeDuration.h"
#include "StaywakeCore/Durations/PresetDurations.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace staywake {
namespace {

TEST(AwakeDurationLabel, ShowsWholeHoursAndMinutesWithZeroUnitsLeftOutInEachLocale) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        const char* locale;
        double seconds;
        std::string label;
        std::string fullLabel;
    };
    const Case cases[] = {
        {"en_US", 1800, "30 min", "30 minutes"},
        {"en_US", 3600, "1 hr", "1 hour"},
        {"en_US", 5400, "1 hr, 30 min", "1 hour, 30 minutes"},
        {"en_US", 7200, "2 hr", "2 hours"},
        {"en_US", 60, "1 min", "1 minute"},
        {"en_US", 360000, "100 hr", "100 hours"},
        {"de_DE", 3600, "1 Std.", "1 Stunde"},
        {"de_DE", 7500, "2 Std., 5 Min.", "2 Stunden, 5 Minuten"},
        // French keeps number and unit together with no-break spaces.
        {"fr_FR", 5400, "1\u202Fh et 30\u00A0min", "1\u00A0heure et 30 minutes"},
        // Arabic digits, the Arabic "and" between the units and dual forms.
        {"ar_EG", 1800, "\u0663\u0660 \u062f", "\u0663\u0660 \u062f\u0642\u064a\u0642\u0629"},
        {"ar_EG", 3600, "\u0661 \u0633", "\u0633\u0627\u0639\u0629"},
        {"ar_EG", 7500, "\u0662 \u0633 \u0648\u0665 \u062f",
         "\u0633\u0627\u0639\u062a\u0627\u0646 \u0648\u0665 \u062f\u0642\u0627\u0626\u0642"},
        // The numbering system is the locale's to choose.
        {"ar_EG@numbers=latn", 1800, "30 \u062f", "30 \u062f\u0642\u064a\u0642\u0629"},
        // Leftover seconds round down (the rounding boundaries the countdown
        // shares are checked with it); impossible lengths do not break it.
        {"en_US", 0, "0 min", "0 minutes"},
        {"en_US", 59.999, "0 min", "0 minutes"},
        {"en_US", 3600.5, "1 hr", "1 hour"},
        {"de_DE", 3599.5, "59 Min.", "59 Minuten"},
        {"en_US", -90, "0 min", "0 minutes"},
        {"en_US", nan, "0 min", "0 minutes"},
        {"en_US", infinity, "\u221E hr", "\u221E hours"},
        // A session until the latest date a deadline may name.
        {"en_US", 64092211200.0 + 59, "17,803,392 hr", "17,803,392 hours"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + std::to_string(c.seconds));
        EXPECT_EQ(AwakeDuration{c.seconds}.label(c.locale), c.label);
        EXPECT_EQ(AwakeDuration{c.seconds}.fullLabel(c.locale), c.fullLabel);
    }
}

TEST(AwakeDurationLabel, TakesBcp47TagsLikeIcuIdentifiers) {
    for (const auto candidate : PresetDurations::candidates) {
        EXPECT_EQ(candidate.label("ar-EG"), candidate.label("ar_EG"));
        EXPECT_EQ(candidate.label("de-DE"), candidate.label("de_DE"));
    }
}

TEST(AwakeDuration, RoundsDownToWholeMinutes) {
    const std::pair<double, double> cases[] = {
        {59.9, 0},      {60, 60}, {3599, 3540},
        {3600.4, 3600}, {-1, 0},  {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& [seconds, wholeMinutes] : cases) {
        EXPECT_EQ(AwakeDuration{seconds}.roundedDownToWholeMinutes(), AwakeDuration{wholeMinutes}) << seconds;
    }
}

} // namespace
} // namespace staywake
