#include "StaywakeCore/Clock/Date.h"
#include "StaywakeCore/Support/Published.h"
#include "StaywakeCore/Support/RepairedUtf8.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

// An observer removed, even by another during a notification, is not called again.
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

// ICU does the repair; the length must come from the bytes, not from a NUL.
TEST(RepairedUtf8, KeepsEveryByteUpToTheEnd) {
    EXPECT_EQ(repairedUtf8(std::string("nul\0in\xFFside", 11)), std::string("nul\0in\xEF\xBF\xBDside", 13));
}

TEST(RepairedUtf8, TellsWellFormedTextFromEachKindOfIllFormedSequence) {
    const struct {
        std::string bytes;
        bool wellFormed;
    } cases[] = {
        {std::string("a\0b", 3), true},
        // the lowest of 2 and 3 bytes, the last before the surrogates, U+10FFFF
        {"\xC2\x80 \xE0\xA0\x80 \xED\x9F\xBF \xF4\x8F\xBF\xBF", true},
        {"\x80", false},             // stray continuation
        {"\xC1\xBF", false},         // overlong
        {"\xE0\x9F\xBF", false},     // overlong
        {"\xED\xA0\x80", false},     // a surrogate
        {"\xF4\x90\x80\x80", false}, // past U+10FFFF
        {"ok\xE2\x82", false},       // cut short at the end
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isWellFormedUtf8(c.bytes), c.wellFormed) << c.bytes;
        EXPECT_EQ(repairedUtf8(c.bytes) == c.bytes, c.wellFormed) << c.bytes;
    }
}

} // namespace
} // namespace staywake
