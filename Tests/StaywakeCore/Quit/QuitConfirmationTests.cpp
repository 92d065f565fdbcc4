#include "StaywakeCore/Quit/QuitConfirmation.h"

#include <gtest/gtest.h>
#include <limits>

namespace staywake {
namespace {

using Kind = QuitConfirmation::Kind;

TEST(QuitConfirmation, AsksAboutNightBrewOrAwakeModeWithTheWholeMinutesLeft) {
    const double infinity = std::numeric_limits<double>::infinity();
    const std::tuple<bool, bool, std::optional<double>, QuitConfirmation> cases[] = {
        // awake, lid, time left
        {true, false, 50, {Kind::awakeMode, std::nullopt}},
        {true, false, 60, {Kind::awakeMode, 60}},
        {true, false, 119.9, {Kind::awakeMode, 60}},
        {true, false, infinity, {Kind::awakeMode, std::nullopt}},
        {false, true, 7200, {Kind::nightBrew, 7200}},
        {true, true, std::nullopt, {Kind::nightBrew, std::nullopt}},
        {false, false, 7200, {Kind::quitNow, std::nullopt}},
    };
    for (const auto& [awake, lid, remaining, expected] : cases) {
        EXPECT_EQ(QuitConfirmation::asked(awake, lid, remaining), expected)
            << awake << lid << " " << remaining.value_or(-1);
    }
}

} // namespace
} // namespace staywake
