#include "StaywakeCore/Icon/CupOnLaptop.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <variant>

namespace staywake {
namespace {

using CupOnLaptop::Detail;
using CupOnLaptop::Placement;

PathRect rectOfHeight(double height, double x = 0, double y = 0) {
    return {x, y, height * CupOnLaptop::aspect, height};
}

bool onPixelGrid(double value, double scale) { return std::abs(value * scale - std::round(value * scale)) < 1e-9; }

TEST(CupOnLaptop, DetailFollowsTheHeightInDevicePixels) {
    const std::pair<double, Detail> cases[] = {
        {7.99, Detail::blunt}, {8, Detail::plain}, {27.9, Detail::plain}, {27.95, Detail::full}};
    for (const auto& [pixels, expected] : cases) {
        EXPECT_EQ(CupOnLaptop::detail(pixels), expected) << pixels;
    }
}

// The ink (fills, and strokes grown by half their width) fills the rectangle
// but for a half-line margin all round; blunt ink, without the handle, is
// narrower and centred. Snapping may move an edge by a device pixel.
TEST(CupOnLaptop, InkFillsTheRectangleInsideItsMargin) {
    for (const Detail detail : {Detail::full, Detail::plain, Detail::blunt}) {
        for (const auto& [filled, scale] : {std::pair{false, 1.0}, {true, 1.0}, {false, 2.0}, {true, -1.0}}) {
            const PathRect rect = rectOfHeight(detail == Detail::blunt ? 6.3 : 40, 3.3, 4.1);
            const double unit = rect.height / CupOnLaptop::boxHeight;
            const double margin = CupOnLaptop::strokeInset * unit;
            std::vector<double> xs, ys;
            for (const auto& operation : CupOnLaptop::drawing(filled, rect, detail, scale).operations) {
                const auto* fill = std::get_if<Drawing::Fill>(&operation);
                const auto* stroke = std::get_if<Drawing::Stroke>(&operation);
                const double grow = stroke ? stroke->lineWidth / 2 : 0;
                for (const PathPoint p : fill     ? fill->path.points()
                                         : stroke ? stroke->path.points()
                                                  : std::vector<PathPoint>()) {
                    xs.insert(xs.end(), {p.x - grow, p.x + grow});
                    ys.insert(ys.end(), {p.y - grow, p.y + grow});
                }
            }
            const double side = (CupOnLaptop::boxWidth - CupOnLaptop::inkWidth(detail)) / 2 * unit + margin;
            const double slack = detail == Detail::blunt ? 1 / std::max(scale, 1.0) : 1e-9;
            const auto [minX, maxX] = std::ranges::minmax(xs);
            const auto [minY, maxY] = std::ranges::minmax(ys);
            const auto where = ::testing::Message() << static_cast<int>(detail) << filled << "@" << scale;
            EXPECT_NEAR(minX, rect.minX() + side, slack) << where;
            EXPECT_NEAR(maxX, rect.maxX() - side, slack) << where;
            EXPECT_NEAR(minY, rect.minY() + margin, slack) << where;
            EXPECT_NEAR(maxY, rect.maxY() - margin, slack) << where;
        }
    }
}

// The corner points a path is built from: arcs by their tangent lines' ends.
std::vector<PathPoint> cornerPoints(const PathData& path) {
    std::vector<PathPoint> points;
    for (const auto& command : path.commands()) {
        if (const auto* arc = std::get_if<PathData::TangentArc>(&command)) {
            points.insert(points.end(), {arc->tangent1End, arc->tangent2End});
        } else if (const auto* move = std::get_if<PathData::MoveTo>(&command)) {
            points.push_back(move->point);
        } else if (const auto* line = std::get_if<PathData::LineTo>(&command)) {
            points.push_back(line->point);
        }
    }
    return points;
}

TEST(CupOnLaptop, BluntDrawingLiesOnTheDevicePixelGrid) {
    for (const auto& [scale, height] : {std::pair{1.0, 3.3}, {1.0, 5.0}, {1.0, 6.1}, {1.0, 7.4}, {2.0, 3.3}}) {
        const Placement place(rectOfHeight(height, 0.37, 1.21), Detail::blunt, scale);
        for (const double inset : {0.0, CupOnLaptop::strokeInset}) {
            for (const PathPoint p : cornerPoints(CupOnLaptop::bodyPath(place, inset))) {
                EXPECT_TRUE(onPixelGrid(p.x, scale) && onPixelGrid(p.y, scale))
                    << p.x << "," << p.y << " at " << scale << "x, " << height << " points";
            }
        }
    }
    EXPECT_EQ(Placement(rectOfHeight(7), Detail::blunt, -2).deviceScale, 1) << "a scale of 0 or less counts as 1";
    // Unsnapped detail keeps its coordinates as they are.
    EXPECT_DOUBLE_EQ(Placement(rectOfHeight(10.13), Detail::full, 2).snapped(0.3), 0.3);
}

// A snapped foot stays a pixel clear of the laptop unless that would crowd the
// rim; inset corners never take a negative radius; a flat slab stands a pixel tall.
TEST(CupOnLaptop, SnappingKeepsThePartsApartAndVisible) {
    for (const auto& [height, foot] : {std::pair{6.0, 3.0}, {7.0, 3.0}, {2.0, 1.0}}) {
        const PathData body = CupOnLaptop::bodyPath(Placement(rectOfHeight(height), Detail::blunt, 1), 0);
        EXPECT_EQ(std::get<PathData::TangentArc>(body.commands()[2]).tangent1End.y, foot) << height;
    }
    const Placement place(rectOfHeight(16), Detail::full, 1);
    EXPECT_EQ(std::get<PathData::TangentArc>(CupOnLaptop::bodyPath(place, 0.3).commands()[2]).radius, 0);
    const Placement tiny(rectOfHeight(1), Detail::plain, 2);
    const auto slab = CupOnLaptop::slab(0.2, 0.2, 0, 0, true, true, tiny).points();
    EXPECT_NEAR(std::ranges::max(slab, {}, &PathPoint::y).y - tiny.y(0.2), 0.5, 1e-12);
}

// What the laptop is drawn as: the last operation of the drawing.
enum class Laptop { filledSlab, filledBaseAndLid, outlinedSlab };

Laptop laptopOf(const Drawing& drawing) {
    const auto& last = drawing.operations.back();
    if (const auto* fill = std::get_if<Drawing::Fill>(&last)) {
        const auto subpaths = std::ranges::count_if(fill->path.commands(), [](const auto& command) {
            return std::holds_alternative<PathData::MoveTo>(command);
        });
        return subpaths == 2 ? Laptop::filledBaseAndLid : Laptop::filledSlab;
    }
    EXPECT_TRUE(std::holds_alternative<Drawing::Stroke>(last));
    return Laptop::outlinedSlab;
}

TEST(CupOnLaptop, LaptopIsSolidUntilItsHollowWouldShow) {
    // Under an outlined cup the slab is solid until its hollow would reach 2.5 device pixels (about 38);
    // under a solid cup it is one slab up to full detail, then base and lid.
    const std::tuple<bool, double, double, Laptop> cases[] = {
        {false, 14, 2, Laptop::filledSlab},     {false, 37, 1, Laptop::filledSlab},
        {false, 38.1, 1, Laptop::outlinedSlab}, {false, 20, 2, Laptop::outlinedSlab},
        {true, 14, 1, Laptop::filledSlab},      {true, 14, 2, Laptop::filledBaseAndLid},
    };
    for (const auto& [filled, height, scale, expected] : cases) {
        const Drawing drawing =
            CupOnLaptop::drawing(filled, rectOfHeight(height), CupOnLaptop::detail(height * scale), scale);
        EXPECT_EQ(laptopOf(drawing), expected) << filled << " " << height << "@" << scale;
    }
}

// The handle is stroked through an even-odd clip that cuts the outer body out; blunt has no handle.
TEST(CupOnLaptop, OutlinedCupClipsItsHandleToTheOutsideOfTheBodyAndBluntHasNoHandle) {
    const Placement place(rectOfHeight(16.75), Detail::full, 1);
    const Drawing outlined = CupOnLaptop::drawing(false, rectOfHeight(16.75), Detail::full, 1);
    const auto& clip = std::get<Drawing::BeginClip>(outlined.operations.at(1));
    const auto outer = CupOnLaptop::bodyPath(place, 0).commands();
    EXPECT_EQ(clip.rule, Drawing::FillRule::evenOdd);
    EXPECT_TRUE(std::equal(outer.rbegin(), outer.rend(), clip.path.commands().rbegin()));
    EXPECT_EQ(std::get<Drawing::Stroke>(outlined.operations.at(2)).path, CupOnLaptop::handlePath(place));
    EXPECT_TRUE(std::holds_alternative<Drawing::EndClip>(outlined.operations.at(3)));
    EXPECT_EQ(CupOnLaptop::drawing(false, rectOfHeight(7), Detail::blunt, 1).operations.size(), 2u);
}

} // namespace
} // namespace staywake
