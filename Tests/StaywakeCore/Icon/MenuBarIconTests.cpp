#include "StaywakeCore/Icon/MenuBarIcon.h"

#include <gtest/gtest.h>
#include <set>

namespace staywake {
namespace {

using Label = MenuBarIcon::SpokenLabel;
using Vessel = CupGlyph::Vessel;

TEST(MenuBarIcon, NamesEveryStateInItsOwnWords) {
    const struct {
        MenuBarIcon icon;
        Label label;
        CupGlyph glyph;
        std::string_view table;
        std::string_view text;
    } cases[] = {
        {{false, false, false}, Label::off, CupGlyph(Vessel::cup, false), "Localizable", "Staywake: off"},
        {{true, false, false}, Label::on, CupGlyph(Vessel::cup, true), "Localizable", "Staywake: on"},
        {{true, true, false},
         Label::onWithTimerRunning,
         CupGlyph(Vessel::cup, true),
         "Localizable",
         "Staywake: on, timer running"},
        {{true, false, true},
         Label::onWithLidClosed,
         CupGlyph(Vessel::doubleMug, true),
         "NightBrew",
         "Staywake: Night Brew on"},
        {{true, true, true},
         Label::onWithLidClosedAndTimerRunning,
         CupGlyph(Vessel::doubleMug, true),
         "NightBrew",
         "Staywake: Night Brew on, timer running"},
    };
    std::set<std::string_view> texts;
    for (const auto& c : cases) {
        EXPECT_EQ(c.icon.spokenLabel(), c.label);
        EXPECT_EQ(c.icon.glyph(), c.glyph);
        const auto text = MenuBarIcon::text(c.label);
        EXPECT_EQ(text.table, c.table);
        EXPECT_EQ(text.key, c.text);
        texts.insert(text.key);
    }
    EXPECT_EQ(texts.size(), std::size(cases));
}

TEST(MenuBarIcon, BadgeSitsAtTheTopOfTheTrailingEdgeOfTheFourteenPointCup) {
    EXPECT_EQ(MenuBarIcon::cupSize(), (PathSize{21, 14}));
    const PathSize badge{8, 8};
    const struct {
        bool lid;
        PathSize base;
        bool rightToLeft;
        MenuBarIcon::BadgeLayout expected;
    } cases[] = {
        {false, {21, 14}, false, {{27, 18}, {0, 2, 21, 14}, {19, 10, 8, 8}, {17.5, 8.5, 11, 11}}},
        {false, {21, 14}, true, {{27, 18}, {6, 2, 21, 14}, {0, 10, 8, 8}, {-1.5, 8.5, 11, 11}}},
        // The mug pair overlaps the badge by 3 points instead of 2.
        {true, {19, 14}, false, {{24, 18}, {0, 2, 19, 14}, {16, 10, 8, 8}, {14.5, 8.5, 11, 11}}},
        {true, {19, 14}, true, {{24, 18}, {5, 2, 19, 14}, {0, 10, 8, 8}, {-1.5, 8.5, 11, 11}}},
        // An odd height difference rounds the base's offset half away from zero.
        {false, {20.4, 13}, false, {{26, 18}, {0, 3, 20.4, 13}, {18, 10, 8, 8}, {16.5, 8.5, 11, 11}}},
    };
    for (const auto& c : cases) {
        const MenuBarIcon icon{true, true, c.lid};
        EXPECT_EQ(icon.badgeLayout(c.base, badge, c.rightToLeft), c.expected) << c.lid << c.rightToLeft;
    }
}

} // namespace
} // namespace staywake
