#include "StaywakeCore/Wording/CountdownText.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace staywake {
namespace {

TEST(CountdownText, ShowsMinutesAndSecondsBelowAnHourAndHoursFromThereInTheLocalesDigits) {
    struct Case {
        const char* locale;
        double remaining;
        std::string text;
    };
    const Case cases[] = {
        {"en_US", 5, "0:05"},
        {"en_US", 0.99, "0:00"},
        {"en_US", 605, "10:05"},
        {"en_US", 3661.7, "1:01:01"},
        {"en_US", 36000, "10:00:00"},
        {"en_US", 86399, "23:59:59"},
        {"de_DE", 7384, "2:03:04"},
        // The locale decides the separator...
        {"da_DK", 3599, "59.59"},
        {"da_DK", 3600, "1.00.00"},
        // ...and the digits.
        {"ar_EG", 3599.9, "\u0665\u0669:\u0665\u0669"},
        {"ar_EG", 3600, "\u0661:\u0660\u0660:\u0660\u0660"},
        {"ar-EG", 5, "\u0660:\u0660\u0665"},
        {"ar_EG@numbers=latn", 5, "0:05"},
        // Impossible remaining times read as nothing left.
        {"en_US", -0.5, "0:00"},
        {"en_US", std::numeric_limits<double>::quiet_NaN(), "0:00"},
        {"en_US", std::numeric_limits<double>::infinity(), "\u221E:00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CountdownText::formatted(c.remaining, c.locale), c.text) << c.locale << " " << c.remaining;
    }
}

TEST(CountdownText, StatusTextCarriesTheCountdownAsItsArgument) {
    struct Case {
        bool isOn;
        std::optional<double> remaining;
        LocalizableText text;
        std::string english;
    };
    const Case cases[] = {
        {false, std::nullopt, LocalizableText::localizable("Off"), "Off"},
        {false, 90, LocalizableText::localizable("Off"), "Off"},
        {true, std::nullopt, LocalizableText::localizable("On"), "On"},
        {true, 90.5, LocalizableText::localizable("On \u00B7 %1 left", {"1:30"}), "On \u00B7 1:30 left"},
        {true, 0, LocalizableText::localizable("On \u00B7 %1 left", {"0:00"}), "On \u00B7 0:00 left"},
    };
    for (const auto& c : cases) {
        const auto text = CountdownText::statusText(c.isOn, c.remaining, "en_US");
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(text.english(), c.english);
    }
    EXPECT_EQ(CountdownText::statusText(true, 3600, "ar_EG").arguments,
              std::vector<std::string>{"\u0661:\u0660\u0660:\u0660\u0660"});
}

} // namespace
} // namespace staywake
