#include "StaywakeCore/Identity/CodeDirectoryHash.h"
#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"

#include <array>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace staywake {
namespace {

TEST(CodeRequirement, ParsesNothingButTheWrittenForm) {
    const auto text = *LidHelperService::codeRequirement("com.staywake.app", std::string("ABCDE12345"));

    const std::string prefix = "anchor apple generic and identifier \"";
    const std::string middle = "\" and certificate leaf[subject.OU] = \"";
    const std::vector<std::string> refused = {
        "",
        text + " ",
        " " + text,
        text.substr(0, text.size() - 1),
        prefix + "com.staywake.app" + middle + "ABCDE12345\" or true",
        prefix + "com.staywake.app" + middle + "abcde12345\"",
        prefix + "com.staywake.app" + middle + "ABCDE123456\"",
        prefix + "com.staywake.app" + middle + "\"",
        prefix + middle + "ABCDE12345\"",
        prefix + "com.staywake\" or identifier \"x" + middle + "ABCDE12345\"",
        prefix + "com.staywake.app" + "\"  and certificate leaf[subject.OU] = \"ABCDE12345\"",
        "anchor apple generic and identifier com.staywake.app and certificate leaf[subject.OU] = ABCDE12345",
        "ANCHOR apple generic and identifier \"com.staywake.app" + middle + "ABCDE12345\"",
    };
    for (const auto& candidate : refused) {
        EXPECT_EQ(CodeRequirement::parse(candidate), std::nullopt) << candidate;
    }
}

TEST(CodeDirectoryHash, WritesTwentyBytesAsLowerCaseHexAndRefusesAnUnsetHash) {
    std::array<std::uint8_t, 20> bytes{};
    EXPECT_EQ(CodeDirectoryHash::fromBytes(bytes), std::nullopt);
    bytes[19] = 0x01;
    bytes[0] = 0xAB;
    EXPECT_EQ(CodeDirectoryHash::fromBytes(bytes), "ab00000000000000000000000000000000000001");
    EXPECT_EQ(CodeDirectoryHash::fromBytes(std::span(bytes).first(19)), std::nullopt);
    EXPECT_EQ(CodeDirectoryHash::fromBytes({}), std::nullopt);

    EXPECT_TRUE(CodeDirectoryHash::isHash("ab00000000000000000000000000000000000001"));
    EXPECT_FALSE(CodeDirectoryHash::isHash("AB00000000000000000000000000000000000001"));
    EXPECT_FALSE(CodeDirectoryHash::isHash("ab0000000000000000000000000000000000001"));
}

} // namespace
} // namespace staywake
