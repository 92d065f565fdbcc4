#include "StaywakeCore/Quit/QuitConfirmation.h"

#include <gtest/gtest.h>
#include <limits>

namespace staywake {
namespace {

using Kind = QuitConfirmation::Kind;

TEST(QuitConfirmation, AsksAboutNightBrewOrAwakeModeWithTheWholeMinutesLeft) {
    const double infinity = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        bool awake;
        bool lid;
        std::optional<double> remaining;
        QuitConfirmation expected;
    };
    const Case cases[] = {
        {true, false, 50, {Kind::awakeMode, std::nullopt}},
        {true, false, 60, {Kind::awakeMode, 60}},
        {true, false, 119.9, {Kind::awakeMode, 60}},
        {true, false, infinity, {Kind::awakeMode, std::nullopt}},
        {true, false, nan, {Kind::awakeMode, std::nullopt}},
        {false, true, 7200, {Kind::nightBrew, 7200}},
        {true, true, std::nullopt, {Kind::nightBrew, std::nullopt}},
        {false, false, 7200, {Kind::quitNow, std::nullopt}},
    };
    for (const auto& c : cases) {
        const auto asked = QuitConfirmation::asked(c.awake, c.lid, c.remaining);
        EXPECT_EQ(asked, c.expected) << "awake " << c.awake << ", lid " << c.lid << ", remaining "
                                     << c.remaining.value_or(-1);
        EXPECT_EQ(asked.asksFirst(), c.expected.kind != Kind::quitNow);
    }
}

} // namespace
} // namespace staywake
