#include "StaywakeCore/Icon/PathData.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace staywake {
namespace {

constexpr double pi = std::numbers::pi;

TEST(PathData, TangentArcRoundsTheCornerBetweenTwoLines) {
    const struct {
        PathPoint current;
        PathData::TangentArc arc;
        PathPoint start;
        PathPoint end;
        PathPoint center;
        double sweep;
    } cases[] = {
        // Right, then up: a left turn, counter-clockwise.
        {{0, 0}, {{10, 0}, {10, 10}, 2}, {8, 0}, {10, 2}, {8, 2}, pi / 2},
        // Right, then down: a right turn, clockwise.
        {{0, 0}, {{10, 0}, {10, -10}, 2}, {8, 0}, {10, -2}, {8, -2}, -pi / 2},
        // A 60-degree corner: the tangent points lie r / tan(30 deg) from it.
        {{0, 0},
         {{10, 0}, {10 - 5, 5 * std::sqrt(3.0)}, 1},
         {10 - std::sqrt(3.0), 0},
         {10 - std::sqrt(3.0) / 2, 1.5},
         {10 - std::sqrt(3.0), 1},
         2 * pi / 3},
    };
    for (const auto& c : cases) {
        const auto resolved = PathData::resolve(c.current, c.arc);
        ASSERT_TRUE(resolved.has_value());
        const auto near = [](PathPoint a, PathPoint b) { return std::hypot(a.x - b.x, a.y - b.y) < 1e-9; };
        EXPECT_TRUE(near(resolved->start, c.start));
        EXPECT_TRUE(near(resolved->end, c.end));
        EXPECT_TRUE(near(resolved->center, c.center));
        EXPECT_NEAR(resolved->sweep, c.sweep, 1e-9);
        // Sweeping from the start angle lands on the end point.
        const double endAngle = resolved->startAngle + resolved->sweep;
        EXPECT_TRUE(near({resolved->center.x + resolved->radius * std::cos(endAngle),
                          resolved->center.y + resolved->radius * std::sin(endAngle)},
                         c.end));
    }
}

TEST(PathData, DegenerateTangentArcIsAStraightLine) {
    EXPECT_FALSE(PathData::resolve({0, 0}, {{10, 0}, {10, 10}, 0}));
    EXPECT_FALSE(PathData::resolve({0, 0}, {{10, 0}, {20, 0}, 2}));
    EXPECT_FALSE(PathData::resolve({10, 0}, {{10, 0}, {10, 10}, 2}));

    PathData path;
    path.moveTo({0, 0});
    path.addArc({10, 0}, {20, 0}, 2);
    EXPECT_EQ(path.points(), (std::vector<PathPoint>{{0, 0}, {10, 0}}));
}

} // namespace
} // namespace staywake
