#include "StaywakeCore/Language/AppLanguage.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using Languages = std::vector<std::string>;

TEST(AppLanguage, ResolvedLocaleTakesTheLanguageAndKeepsTheUsersRegionAndPreferences) {
    const std::tuple<Languages, std::string, std::string> cases[] = {
        // preferred, the system's locale; resolved
        {{}, "en_US@calendar=buddhist", "en_US@calendar=buddhist"},
        {{"fr-CA"}, "en_US", "fr_CA"},
        {{"zh-Hans"}, "en_GB", "zh_Hans_GB"},
        {{"en"}, "sr_Latn_RS", "en_RS"},
        {{"de"}, "en_US@calendar=japanese;hours=h23", "de_US@calendar=japanese;hours=h23"},
        {{"!!"}, "en_US", "en_US"},
    };
    for (const auto& [preferring, base, expected] : cases) {
        EXPECT_EQ(AppLanguage::resolvedLocale(preferring, base), expected) << base;
    }
}

} // namespace
} // namespace staywake
