#include "StaywakeCore/Language/AppLanguage.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using AppLanguage::LayoutDirection;

TEST(AppLanguage, DirectionFollowsTheFirstLocalizationOnly) {
    const struct {
        std::vector<std::string> preferring;
        LayoutDirection expected;
    } cases[] = {
        {{}, LayoutDirection::leftToRight},
        {{"ar"}, LayoutDirection::rightToLeft},
        {{"ar-EG", "en"}, LayoutDirection::rightToLeft},
        {{"fa_IR"}, LayoutDirection::rightToLeft},
        {{"en", "ar"}, LayoutDirection::leftToRight},
        {{"!!"}, LayoutDirection::leftToRight},
        {{""}, LayoutDirection::leftToRight},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppLanguage::direction(c.preferring), c.expected)
            << (c.preferring.empty() ? "(empty)" : c.preferring.front());
    }
}

TEST(AppLanguage, ResolvedLocaleTakesTheLanguageAndKeepsTheUsersRegionAndPreferences) {
    const struct {
        std::vector<std::string> preferring;
        std::string base;
        std::string expected;
    } cases[] = {
        {{}, "en_US@calendar=buddhist", "en_US@calendar=buddhist"},
        {{"fr-CA"}, "en_US", "fr_CA"},
        {{"zh-Hans"}, "en_GB", "zh_Hans_GB"},
        {{"zh-Hant-TW", "en"}, "de_DE", "zh_Hant_TW"},
        {{"en"}, "sr_Latn_RS", "en_RS"},
        {{"de"}, "en_US@calendar=japanese;hours=h23", "de_US@calendar=japanese;hours=h23"},
        {{"!!"}, "en_US", "en_US"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppLanguage::resolvedLocale(c.preferring, c.base), c.expected)
            << (c.preferring.empty() ? "(empty)" : c.preferring.front()) << " on " << c.base;
    }
}

} // namespace
} // namespace staywake
