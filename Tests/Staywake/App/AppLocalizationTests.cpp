#include "Staywake/App/AppLocalization.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(AppLocalization, PicksTheFirstUILanguageAShippedTranslationServes) {
    const QStringList shipped{"ar", "de", "en", "zh-Hans"};
    const struct {
        QStringList uiLanguages;
        const char* expected;
    } cases[] = {
        {{}, "en"},
        {{"fr-CA", "ar-EG", "de"}, "ar"},
        {{"zh-Hans-CN"}, "zh-Hans"},
        {{"zh-Hant-TW", "de_DE"}, "de"},
        {{"DE"}, "de"},
        {{"dea"}, "en"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppLocalization::preferred(c.uiLanguages, shipped), QString::fromLatin1(c.expected))
            << c.uiLanguages.join(',').toStdString();
    }
    EXPECT_EQ(AppLocalization::preferred({"de"}, {"de", "de-CH"}), "de");
    EXPECT_EQ(AppLocalization::preferred({"de-CH"}, {"de", "de-CH"}), "de-CH");
}

TEST(AppLocalization, TheShippedLanguageDecidesDirectionAndLocaleNotTheUsersFirstChoice) {
    // An Arabic-speaking user whose first choice has no translation still
    // reads left to right until Arabic is what the app shows.
    const auto persian = AppLocalization::resolve({"fa-IR", "en-GB"}, {"ar", "de", "en"}, "fa_IR");
    EXPECT_EQ(persian.language, "en");
    EXPECT_EQ(persian.direction, Qt::LeftToRight);
    EXPECT_EQ(persian.locale, "en_IR");
}

} // namespace
} // namespace staywake
