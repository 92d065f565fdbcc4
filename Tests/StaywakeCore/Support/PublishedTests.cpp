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

} // namespace
} // namespace staywake
