#include "StaywakeCore/LidHelper/LidHelperService.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(LidHelperService, ReadsTheBundleVersionOnlyFromTextsByTheVersionRule) {
    const std::string longest(64, '7');
    const std::pair<std::string, bool> versions[] = {
        {"1.4", true},       {"2.0.1-beta_3", true}, {longest, true}, {longest + "7", false},         {"", false},
        {"1.4 beta", false}, {"1.4\n", false},       {"1.4é", false}, {std::string("1\0", 2), false},
    };
    for (const auto& [text, valid] : versions) {
        EXPECT_EQ(LidHelperService::isVersion(text), valid) << text;
    }
    using Dictionary = PropertyValue::Dictionary;
    const auto info = [](PropertyValue shortVersion, PropertyValue build) {
        return Dictionary{{"CFBundleShortVersionString", std::move(shortVersion)},
                          {"CFBundleVersion", std::move(build)}};
    };
    const std::pair<Dictionary, std::optional<std::string>> infos[] = {
        {info("1.4", "57"), "1.4 (57)"},
        {info("1.4", 57), std::nullopt},
        {info("1.4", "57 beta"), std::nullopt},
        {info(1.4, "57"), std::nullopt},
        {Dictionary{{"CFBundleShortVersionString", "1.4"}}, std::nullopt},
    };
    for (const auto& [dictionary, version] : infos) {
        EXPECT_EQ(LidHelperService::bundleVersion(dictionary), version) << ::testing::PrintToString(dictionary);
    }
}

TEST(LidHelperService, StartLineNamesWhatItKnowsAndAnOtherLaunchPath) {
    const std::string helper = "/usr/lib/staywake/Staywake.app/Contents/Helpers/StaywakeLidHelper";
    const std::string old = "/opt/old/StaywakeLidHelper";
    using Text = std::optional<std::string>;
    const std::tuple<Text, Text, Text, Text, std::string> cases[] = {
        // version, executable, launched, hash; line (all known: the helper's process tests)
        {"1.4 (57)", helper, old, std::nullopt,
         "helper starting: Staywake 1.4 (57), cdhash unknown, from " + helper + ", started as " + old},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt,
         "helper starting: Staywake version unknown, cdhash unknown, from a path that could not be read"},
    };
    for (const auto& [version, executable, launched, cdhash, line] : cases) {
        EXPECT_EQ(LidHelperService::startLine(version, executable, launched, cdhash), line);
    }
}

} // namespace
} // namespace staywake
