#include "StaywakeCore/Machine/MachineConditions.h"

#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace staywake {
namespace {

TEST(MachineConditions, AnExternalDisplayIsOneThatIsNotBuiltIn) {
    struct Case {
        std::optional<std::vector<bool>> builtIn;
        bool expected;
    };
    const Case cases[] = {
        {std::vector<bool>{true}, false},
        {std::vector<bool>{true, false}, true},
        {std::vector<bool>{false}, true}, // lid closed with one external display
        {std::vector<bool>{}, false},
        {std::vector<bool>{true, true}, false},
        {std::nullopt, true}, // the displays could not be listed
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hasExternalDisplay(c.builtIn), c.expected)
            << (c.builtIn ? c.builtIn->size() : 99) << " displays";
    }
}

TEST(MachineConditions, OnlyBatteryWithoutAnExternalDisplayHasNoHeatPath) {
    struct Case {
        bool onBattery;
        bool external;
        bool noHeatPath;
    };
    const Case cases[] = {{true, false, true}, {true, true, false}, {false, false, false}, {false, true, false}};
    for (const auto& c : cases) {
        EXPECT_EQ((MachineConditionsSnapshot{c.onBattery, c.external}.hasNoHeatPath()), c.noHeatPath)
            << c.onBattery << c.external;
    }
}

} // namespace
} // namespace staywake
