#include "StaywakeCore/Clock/Date.h"
#include "StaywakeCore/Support/Published.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace staywake {
namespace {

TEST(Published, TellsObserversOnlyOfRealChanges) {
    Published<std::optional<Date>> deadline;
    std::vector<std::optional<Date>> heard;
    deadline.observe([&](const auto& value) { heard.push_back(value); });

    deadline.set(std::nullopt); // two absent values are equal
    deadline.set(Date{100});
    deadline.set(Date{100});
    deadline.set(Date{200});
    deadline.set(std::nullopt);

    EXPECT_EQ(heard, (std::vector<std::optional<Date>>{Date{100}, Date{200}, std::nullopt}));
}

TEST(Published, RemovedObserversAreNotCalledEvenWhenRemovedDuringANotification) {
    Published<int> value;
    int firstCalls = 0;
    int secondCalls = 0;
    Published<int>::ObserverId second = 0;
    const auto first = value.observe([&](int) {
        ++firstCalls;
        value.removeObserver(second);
    });
    second = value.observe([&](int) { ++secondCalls; });

    value.set(1);
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);

    value.removeObserver(first);
    value.removeObserver(12345); // unknown ids are ignored
    value.set(2);
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(value.observerCount(), 0U);
}

} // namespace
} // namespace staywake
