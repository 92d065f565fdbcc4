#include "StaywakeCore/Support/RepairedUtf8.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace staywake {
namespace {

TEST(RepairedUtf8, ReplacesEachMaximalIllFormedSubpartWithOneReplacementCharacter) {
    const std::string r = "\xEF\xBF\xBD";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"plain ASCII\n", "plain ASCII\n"},
        {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80"},
        {std::string("nul\0inside", 10), std::string("nul\0inside", 10)},
        {"\xFF\xFE", r + r},                              // never valid bytes
        {"\x80", r},                                      // a lone continuation byte
        {"\xC0\xAF", r + r},                              // overlong '/'
        {"\xE0\x80\xAF", r + r + r},                      // overlong, three bytes
        {"\xED\xA0\x80", r + r + r},                      // a surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},              // above U+10FFFF
        {"\xE2\x82", r},                                  // cut off at the end
        {"\xE2\x82x", r + "x"},                           // cut off before ASCII
        {"\xF0\x9F\x98", r},                              // a four-byte sequence cut off
        {"\xF0\x9F\x98\xE2\x80\x94", r + "\xE2\x80\x94"}, // cut off before a valid one
        {"a\xC3", "a" + r},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(repairedUtf8(bytes), expected) << ::testing::PrintToString(bytes);
    }
}

} // namespace
} // namespace staywake
