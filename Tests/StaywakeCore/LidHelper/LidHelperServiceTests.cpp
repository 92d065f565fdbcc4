#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "Support/TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <plist/plist.h>
#include <string>

namespace staywake {
namespace {

namespace fs = std::filesystem;

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

TEST(LidHelperService, BuildsRequirementsOnlyFromCleanNames) {
    struct Case {
        std::string identifier;
        std::optional<std::string> team;
        std::optional<std::string> requirement;
    };
    const Case cases[] = {
        {"com.staywake.app.lidhelper", "AB12CD34EF",
         R"(anchor apple generic and identifier "com.staywake.app.lidhelper" and certificate leaf[subject.OU] = "AB12CD34EF")"},
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
        EXPECT_EQ(LidHelperService::codeRequirement(c.identifier, c.team), c.requirement)
            << c.identifier << " / " << c.team.value_or("(none)");
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

/// A bundle in a fresh temporary directory; removed with everything in it.
class TemporaryBundle {
public:
    TemporaryBundle() {
        fs::create_directories(contents / "Helpers");
        fs::create_directories(contents / "bin");
    }

    void writeInfo(const std::string& bytes) const {
        std::ofstream file(contents / "Info.plist", std::ios::binary | std::ios::trunc);
        file << bytes;
    }
    std::string helper() const { return (contents / "Helpers" / "StaywakeLidHelper").string(); }

    testing::TemporaryDirectory root{"staywake-bundle"};
    fs::path contents = root.path() / "Staywake.app" / "Contents";
};

std::string xmlInfo(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           entries + "</plist>\n";
}

std::string versions(const std::string& shortVersion, const std::string& build) {
    return xmlInfo("<dict>\n<key>CFBundleIdentifier</key><string>com.staywake.app</string>\n"
                   "<key>CFBundleShortVersionString</key>" +
                   shortVersion + "\n<key>CFBundleVersion</key>" + build + "\n</dict>\n");
}

std::string binaryInfo(const char* shortVersion, const char* build) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string(shortVersion));
    plist_dict_set_item(dict, "CFBundleVersion", plist_new_string(build));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    std::string result(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(dict);
    return result;
}

TEST(LidHelperService, ReadsTheBundleVersionAroundTheExecutable) {
    const std::string good = versions("<string>1.4</string>", "<string>57</string>");
    // Padding after the closing tag leaves a valid property list of any size.
    const auto padded = [&](std::size_t size) { return good + std::string(size - good.size(), ' '); };
    struct Case {
        const char* name;
        std::optional<std::string> info; // absent: no file
        std::optional<std::string> version;
    };
    const Case cases[] = {
        {"XML", good, "1.4 (57)"},
        {"binary", binaryInfo("2.0.1", "2001"), "2.0.1 (2001)"},
        {"exactly the size limit", padded(LidHelperService::infoPlistSizeLimit), "1.4 (57)"},
        {"one byte over the limit", padded(LidHelperService::infoPlistSizeLimit + 1), std::nullopt},
        {"no file", std::nullopt, std::nullopt},
        {"empty file", "", std::nullopt},
        {"not a property list", "CFBundleVersion=57\n", std::nullopt},
        {"an array at the top", xmlInfo("<array><string>1.4</string></array>\n"), std::nullopt},
        {"build is an integer", versions("<string>1.4</string>", "<integer>57</integer>"), std::nullopt},
        {"short version is a real", versions("<real>1.4</real>", "<string>57</string>"), std::nullopt},
        {"build is missing",
         xmlInfo("<dict><key>CFBundleShortVersionString</key><string>1.4</string></dict>\n"), std::nullopt},
        {"short version fails the rule", versions("<string>1.4 beta</string>", "<string>57</string>"),
         std::nullopt},
        {"build is empty", versions("<string>1.4</string>", "<string></string>"), std::nullopt},
    };
    for (const auto& c : cases) {
        TemporaryBundle bundle;
        if (c.info) {
            bundle.writeInfo(*c.info);
        }
        EXPECT_EQ(LidHelperService::bundleVersion(bundle.helper()), c.version) << c.name;
    }
}

TEST(LidHelperService, FindsTheSameInfoFromTheAppAndTheHelperFolders) {
    TemporaryBundle bundle;
    bundle.writeInfo(versions("<string>3.1</string>", "<string>310</string>"));
    EXPECT_EQ(LidHelperService::bundleVersion((bundle.contents / "bin" / "Staywake").string()), "3.1 (310)");
    EXPECT_EQ(LidHelperService::bundleVersion((bundle.contents / "Helpers" / "pmset").string()), "3.1 (310)");
    EXPECT_EQ(LidHelperService::bundleVersion(""), std::nullopt);
}

TEST(LidHelperService, RefusesAnInfoPlistThatIsNotARegularFile) {
    TemporaryBundle bundle;
    fs::create_directory(bundle.contents / "Info.plist");
    EXPECT_EQ(LidHelperService::bundleVersion(bundle.helper()), std::nullopt);
}

TEST(LidHelperService, StartLine) {
    TemporaryBundle bundle;
    bundle.writeInfo(versions("<string>1.4</string>", "<string>57</string>"));
    const std::string helper = bundle.helper();
    const std::string hash = "0123456789abcdef0123456789abcdef01234567";
    struct Case {
        std::optional<std::string> executable;
        std::optional<std::string> launched;
        std::optional<std::string> hash;
        std::string line;
    };
    const Case cases[] = {
        {helper, helper, hash, "helper starting: Staywake 1.4 (57), cdhash " + hash + ", from " + helper},
        {helper, std::nullopt, hash,
         "helper starting: Staywake 1.4 (57), cdhash " + hash + ", from " + helper},
        {helper, "/opt/old/StaywakeLidHelper", std::nullopt,
         "helper starting: Staywake 1.4 (57), cdhash unknown, from " + helper +
             ", started as /opt/old/StaywakeLidHelper"},
        {std::nullopt, "/opt/old/StaywakeLidHelper", hash,
         "helper starting: Staywake version unknown, cdhash " + hash +
             ", from a path that could not be read, started as /opt/old/StaywakeLidHelper"},
        {std::nullopt, std::nullopt, std::nullopt,
         "helper starting: Staywake version unknown, cdhash unknown, from a path that could not be read"},
        {"/nowhere/Helpers/StaywakeLidHelper", std::nullopt, hash,
         "helper starting: Staywake version unknown, cdhash " + hash +
             ", from /nowhere/Helpers/StaywakeLidHelper"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LidHelperService::startLine(c.executable, c.launched, c.hash), c.line);
    }
}

} // namespace
} // namespace staywake
