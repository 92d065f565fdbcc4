#include "StaywakeCore/Durations/PresetDurations.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <unordered_set>
#include <vector>

namespace staywake {
namespace {

using Seconds = std::vector<double>;

std::optional<Seconds> validatedSeconds(const Seconds& input) {
    const auto durations = PresetDurations::validated(input);
    if (!durations) {
        return std::nullopt;
    }
    return AwakeDuration::secondsOf(*durations);
}

TEST(PresetDurations, ValidatesPinnedLists) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        Seconds input;
        std::optional<Seconds> expected;
    };
    const Case cases[] = {
        {{}, Seconds{}},
        {{1800}, Seconds{1800}},
        {{7200, 1800}, Seconds{1800, 7200}},
        {{1800, 3600, 7200, 14400}, std::nullopt}, // four
        {{3600, 1800, 3600}, std::nullopt},
        {{1800, 900}, std::nullopt},
        {{1800.000001}, std::nullopt}, // candidates compare exactly
        {{-0.0}, std::nullopt},
        {{1800, nan, 3600}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.input));
        EXPECT_EQ(validatedSeconds(c.input), c.expected);
    }
}

TEST(PresetDurations, AllowsAtMostThreeStarsAndOnlyOnCandidates) {
    struct Case {
        const char* situation;
        std::vector<AwakeDuration> start;
        AwakeDuration toggled;
        bool canToggle;
        Seconds afterToggle;
    };
    const Case cases[] = {
        {"a fourth star", {{1800}, {3600}, {7200}}, {28800}, false, {1800, 3600, 7200}},
        {"unstarring with three chosen", {{1800}, {3600}, {7200}}, {3600}, true, {1800, 7200}},
        {"a third star", {{1800}, {28800}}, {14400}, true, {1800, 14400, 28800}},
        {"the last star off", {{21600}}, {21600}, true, {}},
        {"a first star", {}, {3600}, true, {3600}},
        {"no candidate with nothing chosen", {}, {900}, false, {}},
        {"no candidate with room left", {{1800}}, {5400}, false, {1800}},
        {"zero", {}, {0}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        PresetDurations presets(c.start);
        EXPECT_EQ(presets.canToggle(c.toggled), c.canToggle);
        presets.toggle(c.toggled);
        EXPECT_EQ(AwakeDuration::secondsOf(presets.pinned()), c.afterToggle);
        EXPECT_EQ(presets.isChosen(c.toggled), c.canToggle && !PresetDurations(c.start).isChosen(c.toggled));
    }
}

} // namespace
} // namespace staywake
