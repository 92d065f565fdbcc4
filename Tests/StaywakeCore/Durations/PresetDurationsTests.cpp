#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "StaywakeCore/Durations/InMemoryPresetDurationStore.h"
#include "StaywakeCore/Durations/PresetDurations.h"
#include "StaywakeCore/Durations/PresetDurationsController.h"
#include "StaywakeCore/Durations/UserDefaultsPresetDurationStore.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using Seconds = std::vector<double>;
const Seconds defaultSeconds{1800, 3600, 7200};
constexpr auto none = std::nullopt;

TEST(PresetDurations, ValidatesPinnedListsAndAllowsAtMostThreeStarsOnlyOnCandidates) {
    const std::pair<Seconds, std::optional<Seconds>> lists[] = {
        // clang-format off
        {{}, Seconds{}}, {{7200, 1800}, Seconds{1800, 7200}}, {{1800, 3600, 7200, 14400}, none},
        {{3600, 1800, 3600}, none}, {{1800, 900}, none}, {{1800.000001}, none}, // candidates compare exactly
        // clang-format on
    };
    for (const auto& [input, expected] : lists) {
        const auto durations = PresetDurations::validated(input);
        EXPECT_EQ(durations ? std::optional(AwakeDuration::secondsOf(*durations)) : std::nullopt, expected)
            << ::testing::PrintToString(input);
    }
    const std::tuple<const char*, std::vector<AwakeDuration>, AwakeDuration, bool, Seconds> toggles[] = {
        {"a fourth star", {{1800}, {3600}, {7200}}, {28800}, false, {1800, 3600, 7200}},
        {"unstarring with three chosen", {{1800}, {3600}, {7200}}, {3600}, true, {1800, 7200}},
        {"a third star", {{1800}, {28800}}, {14400}, true, {1800, 14400, 28800}},
        {"the last star off", {{21600}}, {21600}, true, {}},
        {"no candidate with room left", {{1800}}, {5400}, false, {1800}},
    };
    for (const auto& [situation, start, toggled, canToggle, after] : toggles) {
        PresetDurations presets(start);
        EXPECT_EQ(presets.canToggle(toggled), canToggle) << situation;
        presets.toggle(toggled);
        EXPECT_EQ(AwakeDuration::secondsOf(presets.pinned()), after) << situation;
    }
}

TEST(PresetDurationsController, StartsFromAStoredArrayOfNumbersThatIsAValidListWithoutWriting) {
    const auto array = [](std::initializer_list<PropertyValue> elements) {
        return PropertyValue::Array(elements);
    };
    // What is stored, what the store reads, what the controller pins.
    const std::tuple<const char*, std::optional<PropertyValue>, std::optional<Seconds>, Seconds> cases[] = {
        {"no key", none, none, defaultSeconds},
        {"reals, unsorted", array({7200.0, 1800.0}), Seconds{7200, 1800}, Seconds{1800, 7200}},
        {"integers", array({1800, 14400}), Seconds{1800, 14400}, Seconds{1800, 14400}},
        {"an empty list", array({}), Seconds{}, Seconds{}},
        {"a repeat", array({1800, 1800}), Seconds{1800, 1800}, defaultSeconds},
        {"a text element", array({1800, "3600"}), none, defaultSeconds},
        {"a number, not an array", PropertyValue(1800), none, defaultSeconds},
    };
    for (const auto& [stored, value, read, pinned] : cases) {
        SCOPED_TRACE(stored);
        InMemoryUserDefaults defaults;
        if (value) {
            defaults.set("com.staywake.presetDurations", *value);
        }
        const auto before = defaults.values();
        UserDefaultsPresetDurationStore store(defaults);
        EXPECT_EQ(store.pinnedSeconds(), read);
        EXPECT_EQ(AwakeDuration::secondsOf(PresetDurationsController(store).pinned().get()), pinned);
        EXPECT_EQ(defaults.values(), before) << "an unusable value stays until the user pins again";
    }
}

// A valid list is stored before it is announced.
TEST(PresetDurationsController, PinsAValidListSortedAndAnnouncesItOnce) {
    InMemoryPresetDurationStore store(Seconds{3600});
    PresetDurationsController controller(store);
    std::vector<Seconds> heard;
    controller.pinned().observe([&](const auto& pinned) {
        heard.push_back(AwakeDuration::secondsOf(pinned));
        EXPECT_EQ(store.pinnedSeconds(), heard.back());
    });
    controller.pin({{900}});
    controller.pin({AwakeDuration{28800}, AwakeDuration{1800}});
    controller.pin({AwakeDuration{1800}, AwakeDuration{28800}}); // the same list again
    controller.pin({});
    EXPECT_EQ(heard, (std::vector<Seconds>{{1800, 28800}, {}}));
    EXPECT_EQ(store.pinnedSeconds(), Seconds{});
}

} // namespace
} // namespace staywake
