#include "StaywakeCore/Settings/AboutInfo.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace staywake {
namespace {

TEST(AboutInfo, ReadsTheVersionAndBuildAndHidesAVersionItCannotRead) {
    using Dictionary = PropertyValue::Dictionary;
    struct Case {
        const char* name;
        std::optional<Dictionary> info;
        std::optional<std::string> formatted;
    };
    const Case cases[] = {
        {"build equal to the version",
         Dictionary{{"CFBundleShortVersionString", "1.2"}, {"CFBundleVersion", "1.2"}}, "1.2"},
        {"a different build", Dictionary{{"CFBundleShortVersionString", "1.2"}, {"CFBundleVersion", "45"}},
         "1.2 (45)"},
        {"no build", Dictionary{{"CFBundleShortVersionString", "1.2"}}, "1.2"},
        {"an empty build", Dictionary{{"CFBundleShortVersionString", "1.2"}, {"CFBundleVersion", ""}}, "1.2"},
        {"a build that is a number", Dictionary{{"CFBundleShortVersionString", "1.2"}, {"CFBundleVersion", 45}},
         "1.2"},
        {"no dictionary", std::nullopt, std::nullopt},
        {"no version", Dictionary{{"CFBundleVersion", "45"}}, std::nullopt},
        {"an empty version", Dictionary{{"CFBundleShortVersionString", ""}, {"CFBundleVersion", "45"}},
         std::nullopt},
        {"a version that is a number", Dictionary{{"CFBundleShortVersionString", 1.2}}, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto info = AboutInfo::fromInfoDictionary(c.info);
        EXPECT_EQ(info ? std::optional(info->formattedVersion()) : std::nullopt, c.formatted) << c.name;
    }
}

} // namespace
} // namespace staywake
