#include "StaywakeCore/Icon/MugPair.h"
#include "StaywakeCore/Icon/PathData.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace staywake {
namespace {

TEST(MugPair, TheSearchForASmallerMugStopsAtOnePoint) {
    int asked = 0;
    EXPECT_FALSE(MugPair::mugPointSize(3, 10, [&](double) { return ++asked, 100.0; }));
    EXPECT_EQ(asked, 5);
}

TEST(PathData, TangentArcRoundsTheCornerBetweenTwoLinesOrIsAStraightLine) {
    constexpr double pi = std::numbers::pi;
    const double root3 = std::sqrt(3.0);
    const std::tuple<PathData::TangentArc, PathPoint, PathPoint, PathPoint, double> cases[] = {
        // start, end, centre
        {{{10, 0}, {10, 10}, 2}, {8, 0}, {10, 2}, {8, 2}, pi / 2},     // a left turn, counter-clockwise
        {{{10, 0}, {10, -10}, 2}, {8, 0}, {10, -2}, {8, -2}, -pi / 2}, // a right turn, clockwise
        // A 60-degree corner: the tangent points lie r / tan(30 deg) from it.
        {{{10, 0}, {5, 5 * root3}, 1}, {10 - root3, 0}, {10 - root3 / 2, 1.5}, {10 - root3, 1}, 2 * pi / 3},
    };
    const auto near = [](PathPoint a, PathPoint b) { return std::hypot(a.x - b.x, a.y - b.y) < 1e-9; };
    for (const auto& [arc, start, end, center, sweep] : cases) {
        const auto resolved = PathData::resolve({0, 0}, arc);
        ASSERT_TRUE(resolved.has_value());
        EXPECT_TRUE(near(resolved->start, start) && near(resolved->end, end) && near(resolved->center, center));
        EXPECT_NEAR(resolved->sweep, sweep, 1e-9);
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
