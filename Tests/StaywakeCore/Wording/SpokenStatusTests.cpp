#include "StaywakeCore/Wording/SpokenStatus.h"

#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <string>

namespace staywake {
namespace {

TEST(SpokenStatus, DescribesTheAwakeStateInWholeMinutesRoundedDown) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        bool isOn;
        std::optional<double> remaining;
        SpokenStatus expected;
    };
    const Case cases[] = {
        {false, 500, SpokenStatus::off()},
        {false, std::nullopt, SpokenStatus::off()},
        {true, std::nullopt, SpokenStatus::on()},
        {true, 60, SpokenStatus::timeLeft(AwakeDuration{60})},
        {true, 0, SpokenStatus::lessThanAMinuteLeft()},
        {true, -3, SpokenStatus::lessThanAMinuteLeft()},
        {true, nan, SpokenStatus::lessThanAMinuteLeft()},
        {true, 3599, SpokenStatus::timeLeft(AwakeDuration{3540})},
        {true, 7200.5, SpokenStatus::timeLeft(AwakeDuration{7200})},
    };
    for (const auto& c : cases) {
        const auto status = SpokenStatus::describing(c.isOn, c.remaining);
        EXPECT_EQ(status, c.expected) << c.isOn << " " << c.remaining.value_or(-1);
    }
    EXPECT_NE(SpokenStatus::timeLeft(AwakeDuration{60}), SpokenStatus::timeLeft(AwakeDuration{120}));
}

TEST(SpokenStatus, SpeaksEveryStateWithFullUnitNames) {
    struct Case {
        SpokenStatus status;
        const char* locale;
        LocalizableText label;
        std::string english;
    };
    const Case cases[] = {
        {SpokenStatus::off(), "en_US", LocalizableText::localizable("Staywake, off"), "Staywake, off"},
        {SpokenStatus::on(), "en_US", LocalizableText::localizable("Staywake, on"), "Staywake, on"},
        {SpokenStatus::lessThanAMinuteLeft(), "en_US",
         LocalizableText::localizable("Staywake, on, less than a minute left"),
         "Staywake, on, less than a minute left"},
        {SpokenStatus::timeLeft(AwakeDuration{3900}), "en_US",
         LocalizableText::localizable("Staywake, on, %1 left", {"1 hour, 5 minutes"}),
         "Staywake, on, 1 hour, 5 minutes left"},
        {SpokenStatus::timeLeft(AwakeDuration{7200}), "de_DE",
         LocalizableText::localizable("Staywake, on, %1 left", {"2 Stunden"}),
         "Staywake, on, 2 Stunden left"},
        {SpokenStatus::timeLeft(AwakeDuration{3900}), "ar_EG",
         LocalizableText::localizable(
             "Staywake, on, %1 left",
             {"\u0633\u0627\u0639\u0629 \u0648\u0665 \u062f\u0642\u0627\u0626\u0642"}),
         "Staywake, on, \u0633\u0627\u0639\u0629 \u0648\u0665 \u062f\u0642\u0627\u0626\u0642 left"},
    };
    for (const auto& c : cases) {
        const auto label = c.status.accessibilityLabel(c.locale);
        EXPECT_EQ(label, c.label);
        EXPECT_EQ(label.english(), c.english);
    }
}

} // namespace
} // namespace staywake
