#include "StaywakeLinux/Bundle/BundleInfo.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <plist/plist.h>
#include <string>
#include <sys/stat.h>

namespace staywake {
namespace {

namespace fs = std::filesystem;

std::string xmlInfo(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<plist version=\"1.0\">\n" +
           entries + "</plist>\n";
}

const std::string goodInfo = xmlInfo("<dict>\n<key>CFBundleShortVersionString</key><string>1.4</string>\n"
                                     "<key>CFBundleVersion</key><string>57</string>\n</dict>\n");

std::string binaryInfo() {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string("2.0.1"));
    plist_dict_set_item(dict, "CFBundleVersion", plist_new_string("2001"));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    std::string result(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(dict);
    return result;
}

TEST(BundleInfo, ReadsTheInformationFileAboveTheProgramsFolder) {
    // Padding after the closing tag leaves a valid property list of any size.
    const auto padded = [](std::size_t size) { return goodInfo + std::string(size - goodInfo.size(), ' '); };
    struct Case {
        const char* name;
        std::optional<std::string> info; // absent: no file
        std::optional<std::string> version;
    };
    const Case cases[] = {
        {"XML", goodInfo, "1.4 (57)"},
        {"binary", binaryInfo(), "2.0.1 (2001)"},
        {"exactly the size limit", padded(BundleInfo::sizeLimit), "1.4 (57)"},
        {"one byte over the limit", padded(BundleInfo::sizeLimit + 1), std::nullopt},
        {"no file", std::nullopt, std::nullopt},
        {"empty file", "", std::nullopt},
        {"not a property list", "CFBundleVersion=57\n", std::nullopt},
        {"an array at the top", xmlInfo("<array><string>1.4</string></array>\n"), std::nullopt},
    };
    for (const auto& c : cases) {
        testing::TemporaryDirectory root{"staywake-bundle"};
        const fs::path contents = root.path() / "Staywake.app/Contents";
        fs::create_directories(contents / "Helpers");
        if (c.info) {
            testing::writeFile(contents / "Info.plist", *c.info);
        }
        EXPECT_EQ(BundleInfo::versionAround((contents / "Helpers/StaywakeLidHelper").string()), c.version)
            << c.name;
        EXPECT_EQ(BundleInfo::versionAround((contents / "bin/Staywake").string()), c.version) << c.name;
    }
    EXPECT_EQ(BundleInfo::versionAround(std::nullopt), std::nullopt);
    EXPECT_EQ(BundleInfo::versionAround(""), std::nullopt);
}

TEST(BundleInfo, RefusesAnInformationFileThatIsNotARegularFileWithoutBlocking) {
    testing::TemporaryDirectory root{"staywake-bundle"};
    const fs::path contents = root.path() / "Staywake.app/Contents";
    fs::create_directories(contents / "Info.plist");
    EXPECT_EQ(BundleInfo::around(contents / "bin/Staywake"), std::nullopt);
    fs::remove(contents / "Info.plist");
    ASSERT_EQ(::mkfifo((contents / "Info.plist").c_str(), 0600), 0);
    EXPECT_EQ(BundleInfo::around(contents / "bin/Staywake"), std::nullopt);
}

} // namespace
} // namespace staywake
