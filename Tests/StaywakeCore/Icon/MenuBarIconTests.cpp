#include "StaywakeCore/Icon/DrawnSymbol.h"
#include "StaywakeCore/Icon/MenuBarIcon.h"
#include "StaywakeCore/Icon/MugPair.h"
#include "StaywakeCore/Icon/PathData.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace staywake {
namespace {

using Label = MenuBarIcon::SpokenLabel;
using Vessel = CupGlyph::Vessel;

TEST(MenuBarIcon, NamesEveryStateInItsOwnWordsFromItsTable) {
    const struct {
        MenuBarIcon icon;
        Label label;
        CupGlyph glyph;
        std::string_view table;
        std::string_view text;
    } cases[] = {
        {{false, false, false}, Label::off, {Vessel::cup, false}, "Localizable", "Staywake: off"},
        {{true, false, false}, Label::on, {Vessel::cup, true}, "Localizable", "Staywake: on"},
        {{true, true, false},
         Label::onWithTimerRunning,
         {Vessel::cup, true},
         "Localizable",
         "Staywake: on, timer running"},
        {{true, false, true},
         Label::onWithLidClosed,
         {Vessel::doubleMug, true},
         "NightBrew",
         "Staywake: Night Brew on"},
        {{true, true, true},
         Label::onWithLidClosedAndTimerRunning,
         {Vessel::doubleMug, true},
         "NightBrew",
         "Staywake: Night Brew on, timer running"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.icon.spokenLabel(), c.label);
        EXPECT_EQ(c.icon.glyph(), c.glyph);
        EXPECT_EQ(MenuBarIcon::text(c.label).table, c.table);
        EXPECT_EQ(MenuBarIcon::text(c.label).key, c.text);
    }
}

TEST(MenuBarIcon, BadgeSitsAtTheTopOfTheTrailingEdgeOfTheCup) {
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
        // An odd height difference rounds the base's offset half away from zero.
        {false, {20.4, 13}, false, {{26, 18}, {0, 3, 20.4, 13}, {18, 10, 8, 8}, {16.5, 8.5, 11, 11}}},
    };
    for (const auto& c : cases) {
        const MenuBarIcon icon{true, true, c.lid};
        EXPECT_EQ(icon.badgeLayout(c.base, {8, 8}, c.rightToLeft), c.expected) << c.lid << c.rightToLeft;
    }
}

TEST(MugPair, TheFrontMugIsClearedByAOneDevicePixelGapWhenFilled) {
    for (const auto& [filled, scale, gap] : {std::tuple{true, 1.0, 1.0}, {true, 2.0, 0.5}, {false, 2.0, 0.0}}) {
        EXPECT_EQ(MugPair::gap(filled, scale), gap) << filled << " @" << scale;
    }
    EXPECT_EQ(MugPair::knockout(12, 0), (std::vector<PathPoint>{{0, 0}, {0, -6}, {0, -9}, {0, -12}}));
    // Grown: the origin, twelve points on a circle of the gap, then swept down.
    const auto grown = MugPair::knockout(12, 0.5);
    ASSERT_EQ(grown.size(), 16u);
    for (std::size_t k = 1; k <= 12; ++k) {
        EXPECT_NEAR(std::hypot(grown[k].x, grown[k].y), 0.5, 1e-12) << k;
    }
    EXPECT_EQ(grown[15], (PathPoint{-0.5, -12}));
}

TEST(MugPair, SmallerMugIsTheFirstHalfPointSizeClearlyLower) {
    const auto mug = DrawnSymbol::named("mug");
    ASSERT_TRUE(mug);
    EXPECT_FALSE(DrawnSymbol::named("cup.and.saucer")) << "only the symbols the glyphs use are drawn";
    const auto heightAt = [&](double size) { return mug->size(size).height; };
    // 15 points: the pair is 14 high, the target 14 - round(1.68) = 12, first met at 13 points.
    EXPECT_EQ(MugPair::mugPointSize(15, heightAt(15), heightAt), 13.0);
    int asked = 0; // a symbol that never gets small enough: the search stops at 1
    EXPECT_FALSE(MugPair::mugPointSize(3, 10, [&](double) { return ++asked, 100.0; }));
    EXPECT_EQ(asked, 5);
}

TEST(PathData, TangentArcRoundsTheCornerBetweenTwoLinesOrIsAStraightLine) {
    constexpr double pi = std::numbers::pi;
    const double root3 = std::sqrt(3.0);
    const struct {
        PathData::TangentArc arc;
        PathPoint start, end, center;
        double sweep;
    } cases[] = {
        {{{10, 0}, {10, 10}, 2}, {8, 0}, {10, 2}, {8, 2}, pi / 2},     // a left turn, counter-clockwise
        {{{10, 0}, {10, -10}, 2}, {8, 0}, {10, -2}, {8, -2}, -pi / 2}, // a right turn, clockwise
        // A 60-degree corner: the tangent points lie r / tan(30 deg) from it.
        {{{10, 0}, {5, 5 * root3}, 1}, {10 - root3, 0}, {10 - root3 / 2, 1.5}, {10 - root3, 1}, 2 * pi / 3},
    };
    const auto near = [](PathPoint a, PathPoint b) { return std::hypot(a.x - b.x, a.y - b.y) < 1e-9; };
    for (const auto& c : cases) {
        const auto resolved = PathData::resolve({0, 0}, c.arc);
        ASSERT_TRUE(resolved.has_value());
        EXPECT_TRUE(near(resolved->start, c.start) && near(resolved->end, c.end) &&
                    near(resolved->center, c.center));
        EXPECT_NEAR(resolved->sweep, c.sweep, 1e-9);
        const double endAngle = resolved->startAngle + resolved->sweep;
        EXPECT_TRUE(near({resolved->center.x + resolved->radius * std::cos(endAngle),
                          resolved->center.y + resolved->radius * std::sin(endAngle)},
                         c.end));
    }
    EXPECT_FALSE(PathData::resolve({0, 0}, {{10, 0}, {10, 10}, 0}));
    EXPECT_FALSE(PathData::resolve({10, 0}, {{10, 0}, {10, 10}, 2}));
    PathData path;
    path.moveTo({0, 0});
    path.addArc({10, 0}, {20, 0}, 2);
    EXPECT_EQ(path.points(), (std::vector<PathPoint>{{0, 0}, {10, 0}}));
}

} // namespace
} // namespace staywake
