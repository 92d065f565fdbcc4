#include "StaywakeIconExport/SvgIcon.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace staywake {
namespace {

TEST(SvgIcon, WritesEveryPathCommandWithArcsTurningTheRightWay) {
    const struct {
        std::function<void(PathData&)> build;
        std::string expected;
    } cases[] = {
        // clang-format off
        {[](PathData& p) { p.moveTo({0, 0}); p.lineTo({1.5, 0}); p.closeSubpath(); }, "M0 0 L1.5 0 Z"},
        // Right then up turns left: counter-clockwise in y-upwards space, SVG's sweep flag 1.
        {[](PathData& p) { p.moveTo({0, 0}); p.addArc({10, 0}, {10, 10}, 2); }, "M0 0 L8 0 A2 2 0 0 1 10 2"},
        {[](PathData& p) { p.moveTo({0, 0}); p.addArc({10, 0}, {10, -10}, 2); }, "M0 0 L8 0 A2 2 0 0 0 10 -2"},
        {[](PathData& p) { p.moveTo({0, 0}); p.addArc({10, 0}, {20, 0}, 2); }, "M0 0 L10 0"},
        {[](PathData& p) { p.moveTo({0, 0}); p.quadCurveTo({1, 0}, {1, 1}); }, "M0 0 Q1 0 1 1"},
        {[](PathData& p) { p.addEllipse({1, 2, 4, 2}); }, "M5 3 A2 1 0 1 1 1 3 A2 1 0 1 1 5 3 Z"},
        // clang-format on
    };
    for (const auto& c : cases) {
        PathData path;
        c.build(path);
        EXPECT_EQ(svgPathData(path), c.expected);
    }
}

} // namespace
} // namespace staywake
