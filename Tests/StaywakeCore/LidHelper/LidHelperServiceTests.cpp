#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace staywake {
namespace {

TEST(LidHelperService, JobDescriptionHasExactlyTheSixKeys) {
    const auto plist = LidHelperService::launchdPlist();
    const PropertyValue::Dictionary expected{
        {"Label", "com.staywake.app.lidhelper"},
        {"BundleProgram", "Contents/Helpers/StaywakeLidHelper"},
        {"MachServices", PropertyValue::Dictionary{{"com.staywake.app.lidhelper", true}}},
        {"AssociatedBundleIdentifiers", PropertyValue::Array{"com.staywake.app"}},
        {"RunAtLoad", true},
        {"KeepAlive", true},
    };
    // Compared by type too: launchd ignores a 1 where it wants true.
    EXPECT_EQ(plist, expected);
}

// The requirement text is built only from clean names, and reads back as the
// same identifier and team.
TEST(LidHelperService, BuildsRequirementsOnlyFromCleanNames) {
    struct Case {
        std::string identifier;
        std::optional<std::string> team;
        std::optional<std::string> requirement;
    };
    const Case cases[] = {
        {"com.staywake.app.lidhelper", "AB12CD34EF",
         R"(anchor apple generic and identifier "com.staywake.app.lidhelper" and certificate leaf[subject.OU] = "AB12CD34EF")"},
        {".", "0123456789",
         R"(anchor apple generic and identifier "." and certificate leaf[subject.OU] = "0123456789")"},
        {"a-B.9", "ZZZZZZZZZZ",
         R"(anchor apple generic and identifier "a-B.9" and certificate leaf[subject.OU] = "ZZZZZZZZZZ")"},
        {"com.staywake.app", std::nullopt, std::nullopt},
        {"com.staywake.app", "AB12CD34E", std::nullopt},
        {"com.staywake.app", "AB12CD34EF0", std::nullopt},
        {"com.staywake.app", "ab12cd34ef", std::nullopt},
        {"com.staywake.app", "AB12CD34E\"", std::nullopt},
        {"", "AB12CD34EF", std::nullopt},
        {"com.staywake.app\" or true", "AB12CD34EF", std::nullopt},
        {"com_staywake", "AB12CD34EF", std::nullopt},
        {"caf\xC3\xA9", "AB12CD34EF", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto requirement = LidHelperService::codeRequirement(c.identifier, c.team);
        EXPECT_EQ(requirement, c.requirement) << c.identifier << " / " << c.team.value_or("(none)");
        if (requirement) {
            EXPECT_EQ(CodeRequirement::parse(*requirement), (CodeRequirement{c.identifier, *c.team}));
        }
    }
}

TEST(LidHelperService, VersionRule) {
    const std::string longest(64, '7');
    const std::pair<std::string, bool> cases[] = {
        {"1.4", true},    {"57", true},        {"2.0.1-beta_3", true},
        {"A", true},      {longest, true},     {longest + "7", false},
        {"", false},      {"1.4 beta", false}, {"1,4", false},
        {"1.4\n", false}, {"1.4é", false},     {std::string("1\0", 2), false},
        {"(57)", false},  {"1/4", false},
    };
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(LidHelperService::isVersion(text), valid) << text;
    }
}

TEST(LidHelperService, ReadsTheBundleVersionFromTheInformationDictionary) {
    using Dictionary = PropertyValue::Dictionary;
    const auto info = [](PropertyValue shortVersion, PropertyValue build) {
        return Dictionary{{"CFBundleIdentifier", "com.staywake.app"},
                          {"CFBundleShortVersionString", std::move(shortVersion)},
                          {"CFBundleVersion", std::move(build)}};
    };
    struct Case {
        Dictionary info;
        std::optional<std::string> version;
    };
    const Case cases[] = {
        {info("1.4", "57"), "1.4 (57)"}, {info("1.4", 57), std::nullopt},
        {info(1.4, "57"), std::nullopt}, {info("1.4 beta", "57"), std::nullopt},
        {info("1.4", ""), std::nullopt}, {Dictionary{{"CFBundleShortVersionString", "1.4"}}, std::nullopt},
        {Dictionary{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LidHelperService::bundleVersion(c.info), c.version);
    }
}

TEST(LidHelperService, StartLine) {
    const std::string helper = "/usr/lib/staywake/Staywake.app/Contents/Helpers/StaywakeLidHelper";
    const std::string hash = "0123456789abcdef0123456789abcdef01234567";
    struct Case {
        std::optional<std::string> version;
        std::optional<std::string> executable;
        std::optional<std::string> launched;
        std::optional<std::string> hash;
        std::string line;
    };
    const Case cases[] = {
        {"1.4 (57)", helper, helper, hash,
         "helper starting: Staywake 1.4 (57), cdhash " + hash + ", from " + helper},
        {"1.4 (57)", helper, std::nullopt, hash,
         "helper starting: Staywake 1.4 (57), cdhash " + hash + ", from " + helper},
        {"1.4 (57)", helper, "/opt/old/StaywakeLidHelper", std::nullopt,
         "helper starting: Staywake 1.4 (57), cdhash unknown, from " + helper +
             ", started as /opt/old/StaywakeLidHelper"},
        {std::nullopt, std::nullopt, "/opt/old/StaywakeLidHelper", hash,
         "helper starting: Staywake version unknown, cdhash " + hash +
             ", from a path that could not be read, started as /opt/old/StaywakeLidHelper"},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt,
         "helper starting: Staywake version unknown, cdhash unknown, from a path that could not be read"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LidHelperService::startLine(c.version, c.executable, c.launched, c.hash), c.line);
    }
}

} // namespace
} // namespace staywake
