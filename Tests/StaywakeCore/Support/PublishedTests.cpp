#include "StaywakeCore/Clock/Date.h"
#include "StaywakeCore/Support/Published.h"
#include "StaywakeCore/Support/RepairedUtf8.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

// Observers hear real changes only, and one removed, even by another observer
// during a notification, is not called again.
TEST(Published, TellsItsObserversOfRealChangesUntilTheyAreRemoved) {
    Published<std::optional<Date>> deadline;
    std::vector<std::optional<Date>> heard;
    Published<std::optional<Date>>::ObserverId second = 0;
    const auto first = deadline.observe([&](const auto& value) {
        heard.push_back(value);
        deadline.removeObserver(second);
    });
    second = deadline.observe([&](const auto&) { heard.push_back(Date{-1}); });
    deadline.set(std::nullopt); // two absent values are equal
    deadline.set(Date{100});
    deadline.set(Date{100});
    deadline.set(Date{200});
    deadline.removeObserver(first);
    deadline.removeObserver(12345); // unknown ids are ignored
    deadline.set(std::nullopt);
    EXPECT_EQ(heard, (std::vector<std::optional<Date>>{Date{100}, Date{200}}));
    EXPECT_EQ(deadline.observerCount(), 0U);
}

TEST(RepairedUtf8, ReplacesEachMaximalIllFormedSubpartWithOneReplacementCharacter) {
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
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
        {"\xF0\x9F\x98\xE2\x80\x94", r + "\xE2\x80\x94"}, // cut off before a valid one
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(repairedUtf8(bytes), expected) << ::testing::PrintToString(bytes);
    }
}

} // namespace
} // namespace staywake
