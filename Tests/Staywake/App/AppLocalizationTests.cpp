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
    int asked = 0;
    const auto base = [&asked] {
        ++asked;
        return std::string("fa_IR");
    };
    // A Persian-speaking user whose first choice has no translation still
    // reads left to right until Arabic is what the app shows.
    const auto persian = AppLocalization::resolve({"fa-IR", "en-GB"}, {"ar", "de", "en"}, base);
    EXPECT_EQ(persian.language, "en");
    EXPECT_EQ(persian.direction, Qt::LeftToRight);
    EXPECT_EQ(asked, 0); // the user's locale is looked up only once something is worded
    EXPECT_EQ(persian.locale(), "en_IR");
    EXPECT_EQ(persian.locale(), "en_IR");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(AppLocalization::resolve({"fa-IR", "ar-EG"}, {"ar", "en"}, base).direction, Qt::RightToLeft);
    EXPECT_EQ(AppLocalization::resolve({"en", "ar"}, {"ar", "en", "zz"}, base).direction, Qt::LeftToRight);
    EXPECT_EQ(AppLocalization::resolve({"zz"}, {"ar", "en", "zz"}, base).direction, Qt::LeftToRight);
}

} // namespace
} // namespace staywake
