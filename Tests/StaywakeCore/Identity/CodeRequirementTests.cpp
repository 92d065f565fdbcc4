#include "StaywakeCore/Identity/CodeDirectoryHash.h"
#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

const std::string prefix = "anchor apple generic and identifier \"";
const std::string middle = "\" and certificate leaf[subject.OU] = \"";

TEST(CodeRequirement, IsBuiltOnlyFromCleanNamesAndReadsBack) {
    const std::tuple<std::string, std::optional<std::string>, bool> cases[] = {
        // clang-format off
        {"com.staywake.app.lidhelper", "AB12CD34EF", true}, {".", "0123456789", true}, {"a-B.9", "ZZZZZZZZZZ", true},
        {"com.staywake.app", std::nullopt, false}, {"com.staywake.app", "AB12CD34E", false},
        {"com.staywake.app", "AB12CD34EF0", false}, {"com.staywake.app", "ab12cd34ef", false},
        {"com.staywake.app", "AB12CD34E\"", false}, {"", "AB12CD34EF", false},
        {"com.staywake.app\" or true", "AB12CD34EF", false}, {"com_staywake", "AB12CD34EF", false},
        {"caf\xC3\xA9", "AB12CD34EF", false},
        // clang-format on
    };
    for (const auto& [identifier, team, built] : cases) {
        const auto requirement = LidHelperService::codeRequirement(identifier, team);
        EXPECT_EQ(requirement, built ? std::optional(prefix + identifier + middle + *team + "\"") : std::nullopt)
            << identifier << " / " << team.value_or("(none)");
        if (requirement) {
            EXPECT_EQ(CodeRequirement::parse(*requirement), (CodeRequirement{identifier, *team}));
        }
    }
}

TEST(CodeRequirement, ParsesNothingButTheWrittenForm) {
    const std::string text = prefix + "com.staywake.app" + middle + "ABCDE12345\"";
    const std::string refused[] = {
        "",
        text + " ",
        text.substr(0, text.size() - 1),
        prefix + "com.staywake.app" + middle + "ABCDE12345\" or true",
        prefix + "com.staywake.app" + middle + "abcde12345\"",
        prefix + "com.staywake.app" + middle + "ABCDE123456\"",
        prefix + middle + "ABCDE12345\"",
        prefix + "com_staywake.app" + middle + "ABCDE12345\"",
        prefix + "com.staywake\" or identifier \"x" + middle + "ABCDE12345\"",
        prefix + "com.staywake.app" + "\"  and certificate leaf[subject.OU] = \"ABCDE12345\"",
        "anchor apple generic and identifier com.staywake.app and certificate leaf[subject.OU] = ABCDE12345",
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
    EXPECT_TRUE(CodeDirectoryHash::isHash("ab00000000000000000000000000000000000001"));
    EXPECT_FALSE(CodeDirectoryHash::isHash("AB00000000000000000000000000000000000001"));
    EXPECT_FALSE(CodeDirectoryHash::isHash("ab0000000000000000000000000000000000001"));
}

} // namespace
} // namespace staywake
