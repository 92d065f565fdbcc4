#include "StaywakeCore/Settings/AboutInfo.h"
#include "StaywakeCore/Settings/FeedbackLink.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(FeedbackLink, PrefixesTheSiteLanguageAndAddsTheItemsThatArePresent) {
    constexpr std::string_view form = "https://feedback.example:8443/feedback";
    using Text = std::optional<std::string>;
    const std::tuple<Text, Text, Text, std::string> cases[] = {
        // the app, the system, the language; the link
        {"1.2 (45)", "debian-12", "fr-CA",
         "https://feedback.example:8443/fr-CA/feedback?app=1.2%20%2845%29&os=debian-12"},
        {"1.2 (45)", "debian-12", "en", "https://feedback.example:8443/feedback?app=1.2%20%2845%29&os=debian-12"},
        // Site languages are matched exactly: no region or case folding.
        {std::nullopt, "arch", "fr-FR", "https://feedback.example:8443/feedback?os=arch"},
        {"", std::nullopt, "de", "https://feedback.example:8443/de/feedback"},
        // Characters that would end a value or the query are escaped.
        {"1&os=x#y", "a b/ü", "ar",
         "https://feedback.example:8443/ar/feedback?app=1%26os%3Dx%23y&os=a%20b%2F%C3%BC"},
    };
    for (const auto& [app, os, language, expected] : cases) {
        EXPECT_EQ(FeedbackLink::url(app, os, language, form), expected);
    }
}

TEST(FeedbackLink, NamesTheSystemByItsOsReleaseIdAndVersion) {
    const std::pair<const char*, const char*> cases[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nVERSION_ID=\"12\"\nID=debian\n", "debian-12"},
        {"ID='opensuse-leap'\nVERSION_ID='15.5'\n", "opensuse-leap-15.5"},
        {"# comment\n\nID=\"alpine\"\r\nVERSION_ID=3.19.1\n", "alpine-3.19.1"},
        // Three-part versions are shortened as system versions are: no patch 0.
        {"ID=macos\nVERSION_ID=15.1.0\n", "macos-15.1"},
        {"ID=arch\nBUILD_ID=rolling\n", "arch"},
        {"ID=\"weird\\\"os\"\n", "weird\"os"},
        {"", "linux"},
    };
    for (const auto& [osRelease, expected] : cases) {
        EXPECT_EQ(FeedbackLink::operatingSystem(osRelease), expected) << osRelease;
    }
}

TEST(AboutInfo, ReadsTheVersionAndBuildAndHidesAVersionItCannotRead) {
    using Dictionary = PropertyValue::Dictionary;
    const auto info = [](PropertyValue version, PropertyValue build) {
        return Dictionary{{"CFBundleShortVersionString", std::move(version)},
                          {"CFBundleVersion", std::move(build)}};
    };
    const std::pair<std::optional<Dictionary>, std::optional<std::string>> cases[] = {
        // clang-format off
        {info("1.2", "1.2"), "1.2"}, {info("1.2", "45"), "1.2 (45)"}, {info("1.2", ""), "1.2"}, {info("1.2", 45), "1.2"},
        {Dictionary{{"CFBundleShortVersionString", "1.2"}}, "1.2"}, {std::nullopt, std::nullopt},
        {Dictionary{{"CFBundleVersion", "45"}}, std::nullopt}, {info("", "45"), std::nullopt},
        {info(1.2, "45"), std::nullopt},
        // clang-format on
    };
    for (const auto& [dictionary, formatted] : cases) {
        const auto about = AboutInfo::fromInfoDictionary(dictionary);
        EXPECT_EQ(about ? std::optional(about->formattedVersion()) : std::nullopt, formatted)
            << ::testing::PrintToString(dictionary);
    }
}

} // namespace
} // namespace staywake
