#include "StaywakeCore/Machine/MachineConditions.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(MachineConditions, OnlyBatteryWithoutADisplayThatIsNotBuiltInHasNoHeatPath) {
    const std::pair<std::optional<std::vector<bool>>, bool> displays[] = {
        {std::vector<bool>{true}, false}, {std::vector<bool>{true, false}, true},
        {std::vector<bool>{false}, true},                       // lid closed with one external display
        {std::vector<bool>{}, false},     {std::nullopt, true}, // the displays could not be listed
    };
    for (const auto& [builtIn, external] : displays) {
        EXPECT_EQ(hasExternalDisplay(builtIn), external) << ::testing::PrintToString(builtIn);
    }
    for (const auto& [battery, external] : {std::pair{true, true}, {false, false}, {false, true}}) {
        EXPECT_FALSE((MachineConditionsSnapshot{battery, external}.hasNoHeatPath())) << battery << external;
    }
    EXPECT_TRUE((MachineConditionsSnapshot{true, false}.hasNoHeatPath()));
}

} // namespace
} // namespace staywake
