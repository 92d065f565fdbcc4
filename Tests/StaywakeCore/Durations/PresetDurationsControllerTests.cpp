#include "StaywakeCore/Defaults/InMemoryUserDefaults.h"
#include "StaywakeCore/Durations/InMemoryPresetDurationStore.h"
#include "StaywakeCore/Durations/PresetDurations.h"
#include "StaywakeCore/Durations/PresetDurationsController.h"
#include "StaywakeCore/Durations/UserDefaultsPresetDurationStore.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace staywake {
namespace {

using Seconds = std::vector<double>;

const std::string presetsKey = "com.staywake.presetDurations";
const Seconds defaultSeconds{1800, 3600, 7200};

PropertyValue::Array array(std::initializer_list<PropertyValue> elements) {
    return PropertyValue::Array(elements);
}

TEST(PresetDurationsController, StartsFromAStoredArrayOfNumbersThatIsAValidListWithoutWriting) {
    struct Case {
        const char* stored;
        std::optional<PropertyValue> value;
        std::optional<Seconds> read; // by the store
        Seconds pinned;
    };
    const Case cases[] = {
        {"no key", std::nullopt, std::nullopt, defaultSeconds},
        {"reals, unsorted", array({7200.0, 1800.0}), Seconds{7200, 1800}, Seconds{1800, 7200}},
        {"integers", array({1800, 14400}), Seconds{1800, 14400}, Seconds{1800, 14400}},
        {"a negative integer", array({PropertyValue(std::int64_t{-60})}), Seconds{-60}, defaultSeconds},
        {"an empty list", array({}), Seconds{}, Seconds{}},
        {"a repeat", array({1800, 1800}), Seconds{1800, 1800}, defaultSeconds},
        {"a Boolean reads as 1 or 0", array({true, false}), Seconds{1, 0}, defaultSeconds},
        {"a text element", array({1800, "3600"}), std::nullopt, defaultSeconds},
        {"a nested array", array({array({1800})}), std::nullopt, defaultSeconds},
        {"a number, not an array", PropertyValue(1800), std::nullopt, defaultSeconds},
        {"a dictionary", PropertyValue::Dictionary{{"0", 1800}}, std::nullopt, defaultSeconds},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        InMemoryUserDefaults defaults(c.value ? PropertyValue::Dictionary{{presetsKey, *c.value}}
                                              : PropertyValue::Dictionary{});
        const auto before = defaults.values();
        UserDefaultsPresetDurationStore store(defaults);
        EXPECT_EQ(store.pinnedSeconds(), c.read);
        const PresetDurationsController controller(store);
        EXPECT_EQ(AwakeDuration::secondsOf(controller.pinned().get()), c.pinned);
        EXPECT_EQ(defaults.values(), before); // an unusable value stays until the user pins again
    }
}

// Only a valid list is pinned: sorted, stored before it is announced, and
// announced once; an invalid one (validated by PresetDurations) changes nothing.
TEST(PresetDurationsController, PinsAValidListSortedAndAnnouncesItOnce) {
    InMemoryPresetDurationStore store(Seconds{3600});
    PresetDurationsController controller(store);
    std::vector<Seconds> heard;
    controller.pinned().observe([&](const auto& pinned) {
        heard.push_back(AwakeDuration::secondsOf(pinned));
        EXPECT_EQ(store.pinnedSeconds(), heard.back());
    });

    controller.pin({{1800}, {3600}, {7200}, {14400}});
    controller.pin({{900}});
    EXPECT_EQ(store.pinnedSeconds(), Seconds{3600});
    controller.pin({AwakeDuration{28800}, AwakeDuration{1800}});
    EXPECT_EQ(store.pinnedSeconds(), (Seconds{1800, 28800}));
    controller.pin({AwakeDuration{1800}, AwakeDuration{28800}}); // the same list again
    controller.pin({});
    EXPECT_EQ(store.pinnedSeconds(), Seconds{});
    EXPECT_EQ(AwakeDuration::secondsOf(controller.pinned().get()), Seconds{});
    EXPECT_EQ(heard, (std::vector<Seconds>{{1800, 28800}, {}}));
}

} // namespace
} // namespace staywake
