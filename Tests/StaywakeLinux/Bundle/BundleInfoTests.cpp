#include "StaywakeLinux/Bundle/BundleInfo.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace staywake {
namespace {

namespace fs = std::filesystem;

TEST(BundleInfo, ReadsTheVersionFromTheInformationFileAboveTheProgramsFolder) {
    const std::string info = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                             "<key>CFBundleShortVersionString</key><string>1.4</string>\n"
                             "<key>CFBundleVersion</key><string>57</string>\n</dict>\n</plist>\n";
    // Padding after the closing tag leaves a valid property list of any size.
    const auto padded = [&](std::size_t size) { return info + std::string(size - info.size(), ' '); };
    const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
        {info, "1.4 (57)"},
        {padded(BundleInfo::sizeLimit), "1.4 (57)"},
        {padded(BundleInfo::sizeLimit + 1), std::nullopt},
        {std::nullopt, std::nullopt},
        {"CFBundleVersion=57\n", std::nullopt},
    };
    for (const auto& [contents, version] : cases) {
        testing::TemporaryDirectory root{"staywake-bundle"};
        const fs::path bundle = root.path() / "Staywake.app/Contents";
        fs::create_directories(bundle);
        if (contents) {
            testing::writeFile(bundle / "Info.plist", *contents);
        }
        EXPECT_EQ(BundleInfo::versionAround((bundle / "Helpers/StaywakeLidHelper").string()), version)
            << contents.value_or("no file").substr(0, 80);
    }
    EXPECT_EQ(BundleInfo::versionAround(std::nullopt), std::nullopt);
    EXPECT_EQ(BundleInfo::versionAround(""), std::nullopt);

    // A fifo is not read: it would block.
    testing::TemporaryDirectory root{"staywake-bundle"};
    const fs::path bundle = root.path() / "Staywake.app/Contents";
    fs::create_directories(bundle);
    ASSERT_EQ(::mkfifo((bundle / "Info.plist").c_str(), 0600), 0);
    EXPECT_EQ(BundleInfo::around(bundle / "bin/Staywake"), std::nullopt);
}

} // namespace
} // namespace staywake
