#include "StaywakeCore/Durations/AwakeDuration.h"
#include "StaywakeCore/Wording/CountdownText.h"
#include "StaywakeCore/Wording/SpokenStatus.h"

#include <gtest/gtest.h>
#include <limits>

namespace staywake {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// All round down, so that no two texts disagree about which minute it is; impossible lengths read as nothing left.
TEST(TimeLeftTexts, EachLocaleShowsTheSameWholeMinutes) {
    const std::tuple<const char*, double, std::string, std::string, std::string> cases[] = {
        {"en_US", 59.6, "0:59", "0 min", "0 minutes"},
        {"en_US", 60, "1:00", "1 min", "1 minute"},
        {"en_US", 3599.5, "59:59", "59 min", "59 minutes"},
        {"en_US", 3600, "1:00:00", "1 hr", "1 hour"},
        {"en_US", -0.5, "0:00", "0 min", "0 minutes"},
        {"en_US", nan, "0:00", "0 min", "0 minutes"},
        // A session until the latest date a deadline may name.
        {"en_US", 64092211200.0 + 59, "17,803,392:00:59", "17,803,392 hr", "17,803,392 hours"},
        {"de_DE", 7384, "2:03:04", "2 Std., 3 Min.", "2 Stunden, 3 Minuten"},
        {"da_DK", 3600, "1.00.00", "1 t.", "1 time"}, // the locale's separator
    };
    for (const auto& [locale, seconds, countdown, label, fullLabel] : cases) {
        SCOPED_TRACE(std::string(locale) + " " + std::to_string(seconds));
        EXPECT_EQ(CountdownText::formatted(seconds, locale), countdown);
        EXPECT_EQ(CountdownText::statusText(true, seconds, locale),
                  LocalizableText::localizable("On \u00B7 %1 left", {countdown}));
        EXPECT_EQ(AwakeDuration{seconds}.label(locale), label);
        EXPECT_EQ(AwakeDuration{seconds}.fullLabel(locale), fullLabel);
        const std::string spoken = fullLabel == "0 minutes" ? "Staywake, on, less than a minute left"
                                                            : "Staywake, on, " + fullLabel + " left";
        EXPECT_EQ(SpokenStatus::describing(true, seconds).accessibilityLabel(locale).english(), spoken);
    }
}

TEST(TimeLeftTexts, StatusAndSpokenLabelWithoutATimeLeft) {
    const std::tuple<bool, std::optional<double>, LocalizableText, std::string> cases[] = {
        {false, 90, LocalizableText::localizable("Off"), "Staywake, off"},
        {true, std::nullopt, LocalizableText::localizable("On"), "Staywake, on"},
    };
    for (const auto& [isOn, remaining, status, spoken] : cases) {
        EXPECT_EQ(CountdownText::statusText(isOn, remaining, "en_US"), status) << spoken;
        EXPECT_EQ(SpokenStatus::describing(isOn, remaining).accessibilityLabel("en_US").english(), spoken);
    }
}

TEST(LocalizableText, FillsInArgumentsInOnePass) {
    const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
        {"On \u00B7 %1 left", {"59:59"}, "On \u00B7 59:59 left"},
        {"%2 then %1", {"a", "b"}, "b then a"},
        {"%1 left", {"100%2 %1"}, "100%2 %1 left"}, // an argument is never scanned again
        {"%1 and %2", {"only"}, "only and %2"},     // a marker without an argument stays
        {"50% done, %", {}, "50% done, %"},
        {"%0 %1", {"x"}, "%0 x"},
    };
    for (const auto& [key, arguments, english] : cases) {
        EXPECT_EQ(LocalizableText::localizable(key, arguments).english(), english) << key;
    }
}

} // namespace
} // namespace staywake
