#include "StaywakeCore/Icon/CupOnLaptop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <variant>

namespace staywake {
namespace {

using CupOnLaptop::Detail;
using CupOnLaptop::Placement;

// A rectangle whose height makes one unit exactly `unit` points.
PathRect rectWithUnit(double unit, double x = 0, double y = 0) {
    return PathRect{x, y, CupOnLaptop::boxWidth * unit, CupOnLaptop::boxHeight * unit};
}

bool onPixelGrid(double value, double scale) {
    return std::abs(value * scale - std::round(value * scale)) < 1e-9;
}

// The corner points a path is built from (arcs by their tangent lines' ends).
std::vector<PathPoint> cornerPoints(const PathData& path) {
    std::vector<PathPoint> points;
    for (const auto& command : path.commands()) {
        if (const auto* move = std::get_if<PathData::MoveTo>(&command)) {
            points.push_back(move->point);
        } else if (const auto* line = std::get_if<PathData::LineTo>(&command)) {
            points.push_back(line->point);
        } else if (const auto* arc = std::get_if<PathData::TangentArc>(&command)) {
            points.push_back(arc->tangent1End);
            points.push_back(arc->tangent2End);
        } else if (const auto* curve = std::get_if<PathData::QuadCurveTo>(&command)) {
            points.push_back(curve->control);
            points.push_back(curve->point);
        }
    }
    return points;
}

// The foot's height: where the body path's first corner arc turns.
double footHeight(const PathData& body) {
    for (const auto& command : body.commands()) {
        if (const auto* arc = std::get_if<PathData::TangentArc>(&command)) {
            return arc->tangent1End.y;
        }
    }
    ADD_FAILURE() << "no foot";
    return 0;
}

TEST(CupOnLaptop, BoxIsTheInkWithAHalfLineMarginAllRound) {
    EXPECT_DOUBLE_EQ(CupOnLaptop::inkHeight, 1.53);
    EXPECT_DOUBLE_EQ(CupOnLaptop::boxHeight, 1.675);
    EXPECT_DOUBLE_EQ(CupOnLaptop::boxWidth, 2.4659);
    EXPECT_NEAR(CupOnLaptop::aspect, 1.4722, 5e-5);
    EXPECT_DOUBLE_EQ(CupOnLaptop::inkWidth(Detail::full), 2.4659);
    EXPECT_DOUBLE_EQ(CupOnLaptop::inkWidth(Detail::plain), 2.4659);
    EXPECT_DOUBLE_EQ(CupOnLaptop::inkWidth(Detail::blunt), 2.037);
}

TEST(CupOnLaptop, DetailFollowsTheHeightInDevicePixels) {
    const struct {
        double pixels;
        Detail expected;
    } cases[] = {
        {0, Detail::blunt},     {1, Detail::blunt},     {7, Detail::blunt},     {7.99, Detail::blunt},
        {8, Detail::plain},     {14, Detail::plain},    {20.9, Detail::plain},  {27, Detail::plain},
        {27.9, Detail::plain},  {27.95, Detail::full},  {28, Detail::full},     {512, Detail::full},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CupOnLaptop::detail(c.pixels), c.expected) << c.pixels;
    }
}

TEST(CupOnLaptop, PlacementMapsUnitsIntoTheRectangle) {
    const struct {
        PathRect rect;
        Detail detail;
        double scale;
        double unit;
        double xOffset;
        bool snaps;
        double deviceScale;
        PathPoint origin; // where (0, 0) lands
    } cases[] = {
        {rectWithUnit(10, 3, 4), Detail::plain, 2, 10, 0, false, 2, {3.725, 4.725}},
        {rectWithUnit(10, 3, 4), Detail::full, 1, 10, 0, false, 1, {3.725, 4.725}},
        // Blunt drops the handle and centres the narrower ink: 0.21445 units further right.
        {rectWithUnit(10, 3, 4), Detail::blunt, 1, 10, 2.1445, true, 1, {6, 5}},
        // A scale of 0 or less counts as 1.
        {rectWithUnit(10, 3, 4), Detail::plain, 0, 10, 0, false, 1, {3.725, 4.725}},
        {rectWithUnit(10, 3, 4), Detail::plain, -2, 10, 0, false, 1, {3.725, 4.725}},
        // Snapping rounds the rectangle's origin, then every coordinate, to half points at 2x.
        {rectWithUnit(2, 0.3, 0.6), Detail::blunt, 2, 2, 0.4289, true, 2, {1.0, 0.5}},
    };
    for (const auto& c : cases) {
        const Placement place(c.rect, c.detail, c.scale);
        EXPECT_DOUBLE_EQ(place.unit, c.unit);
        EXPECT_NEAR(place.xOffset, c.xOffset, 1e-12);
        EXPECT_EQ(place.snaps, c.snaps);
        EXPECT_EQ(place.deviceScale, c.deviceScale);
        EXPECT_NEAR(place.x(0), c.origin.x, 1e-12) << c.rect.x << " " << c.scale;
        EXPECT_NEAR(place.y(0), c.origin.y, 1e-12) << c.rect.y << " " << c.scale;
        EXPECT_DOUBLE_EQ(place.length(0.145), 0.145 * c.unit);
    }
    const Placement snapped(rectWithUnit(2, 0.3, 0.6), Detail::blunt, 2);
    EXPECT_EQ(snapped.rect.x, 0.5);
    EXPECT_EQ(snapped.rect.y, 0.5);
}

TEST(CupOnLaptop, BluntDrawingLiesOnTheDevicePixelGrid) {
    for (const double scale : {1.0, 2.0, 3.0}) {
        for (const double height : {3.3, 5.0, 6.1, 7.4}) {
            const PathRect rect{0.37, 1.21, height * CupOnLaptop::aspect, height};
            const auto detail = CupOnLaptop::detail(height * scale);
            if (detail != Detail::blunt) {
                continue;
            }
            const Placement place(rect, detail, scale);
            for (const double inset : {0.0, CupOnLaptop::strokeInset}) {
                for (const PathPoint p : cornerPoints(CupOnLaptop::bodyPath(place, inset))) {
                    EXPECT_TRUE(onPixelGrid(p.x, scale) && onPixelGrid(p.y, scale))
                        << p.x << "," << p.y << " at " << scale << "x, " << height << " points";
                }
            }
        }
    }
}

TEST(CupOnLaptop, UnsnappedCoordinatesAreLeftAlone) {
    const Placement place(rectWithUnit(10.13), Detail::full, 2);
    EXPECT_DOUBLE_EQ(place.x(1.0), (1.0 + 0.0725) * 10.13);
    EXPECT_DOUBLE_EQ(place.snapped(0.3), 0.3);
}

TEST(CupOnLaptop, SnappedFootStaysAPixelClearOfTheLaptopUnlessItWouldCrowdTheRim) {
    const struct {
        double height; // points at 1x
        double foot;
    } cases[] = {
        // 6 px: the laptop's top is at 2, the foot would round to 2 and is raised to 3.
        {6, 3},
        // 7 px: already a pixel clear.
        {7, 3},
        // 2 px: raising to 2 would touch the rim at 2, so the foot keeps its own height.
        {2, 1},
    };
    for (const auto& c : cases) {
        const Placement place({0, 0, c.height * CupOnLaptop::aspect, c.height}, Detail::blunt, 1);
        EXPECT_EQ(footHeight(CupOnLaptop::bodyPath(place, 0)), c.foot) << c.height;
    }
}

TEST(CupOnLaptop, BodyOutlineRunsFromRimToFootWithRoundedBottomCorners) {
    const Placement place(rectWithUnit(10), Detail::full, 1);
    const PathData outer = CupOnLaptop::bodyPath(place, 0);
    ASSERT_EQ(outer.commands().size(), 5u);
    EXPECT_EQ(std::get<PathData::MoveTo>(outer.commands()[0]).point, place.point(0.1, 1.53));
    EXPECT_EQ(std::get<PathData::LineTo>(outer.commands()[1]).point, place.point(1.792, 1.53));
    const auto& right = std::get<PathData::TangentArc>(outer.commands()[2]);
    EXPECT_EQ(right.tangent1End, place.point(1.572, 0.53));
    EXPECT_EQ(right.tangent2End, place.point(0.321, 0.53));
    EXPECT_DOUBLE_EQ(right.radius, 2.82);
    const auto& left = std::get<PathData::TangentArc>(outer.commands()[3]);
    EXPECT_EQ(left.tangent1End, place.point(0.321, 0.53));
    EXPECT_EQ(left.tangent2End, place.point(0.1, 1.53));
    EXPECT_TRUE(std::holds_alternative<PathData::Close>(outer.commands()[4]));

    // Inset, every edge moves inwards by the inset and the corners tighten by as much.
    const PathData inner = CupOnLaptop::bodyPath(place, 0.0725);
    EXPECT_EQ(std::get<PathData::MoveTo>(inner.commands()[0]).point, place.point(0.1725, 1.4575));
    const auto& innerRight = std::get<PathData::TangentArc>(inner.commands()[2]);
    EXPECT_EQ(innerRight.tangent1End, place.point(1.4995, 0.6025));
    EXPECT_NEAR(innerRight.radius, 2.095, 1e-12);
    // A radius never goes negative.
    EXPECT_EQ(std::get<PathData::TangentArc>(CupOnLaptop::bodyPath(place, 0.3).commands()[2]).radius, 0);
}

TEST(CupOnLaptop, SlabKeepsItsHeightAndRoundsItsCornersWithinBounds) {
    const Placement place(rectWithUnit(10), Detail::full, 1);
    // The lid: a soft front whose top corners run 2.5 times their side rounding along the top.
    const PathData lid = CupOnLaptop::slab(0.24, 0.4, 0.045, 0, false, true, place);
    const double left = place.x(0);
    const double right = place.x(1.892);
    const double bottom = place.y(0.24);
    const double leftTop = place.y(0.4);
    const double rightTop = place.y(0.355);
    for (const PathPoint p : cornerPoints(lid)) {
        EXPECT_GE(p.x, left - 1e-9);
        EXPECT_LE(p.x, right + 1e-9);
        EXPECT_GE(p.y, bottom - 1e-9);
        EXPECT_LE(p.y, leftTop + 1e-9);
    }
    const auto& commands = lid.commands();
    EXPECT_EQ(std::get<PathData::MoveTo>(commands[0]).point, (PathPoint{left, bottom}));
    EXPECT_EQ(std::get<PathData::LineTo>(commands[1]).point, (PathPoint{right, bottom}));
    const double rightHeight = rightTop - bottom;
    EXPECT_NEAR(std::get<PathData::LineTo>(commands[2]).point.y, rightTop - rightHeight / 2, 1e-12);
    const auto& topRight = std::get<PathData::QuadCurveTo>(commands[3]);
    EXPECT_EQ(topRight.control, (PathPoint{right, rightTop}));
    EXPECT_NEAR(topRight.point.x, right - 2.5 * rightHeight / 2, 1e-12);
    const auto& topLeft = std::get<PathData::QuadCurveTo>(commands[5]);
    EXPECT_EQ(topLeft.control, (PathPoint{left, leftTop}));
    EXPECT_NEAR(topLeft.point.y, leftTop - (leftTop - bottom) / 2, 1e-12);

    // A slab with no height still stands one device pixel tall.
    const Placement tiny(rectWithUnit(1), Detail::plain, 2);
    const PathData flat = CupOnLaptop::slab(0.2, 0.2, 0, 0, true, true, tiny);
    double highest = -1e9;
    for (const PathPoint p : cornerPoints(flat)) {
        highest = std::max(highest, p.y);
    }
    EXPECT_NEAR(highest - tiny.y(0.2), 0.5, 1e-12);
}

// What the laptop is drawn as: the last operation of the drawing.
enum class Laptop { filledSlab, filledBaseAndLid, outlinedSlab };

Laptop laptopOf(const Drawing& drawing) {
    const auto& last = drawing.operations.back();
    if (const auto* fill = std::get_if<Drawing::Fill>(&last)) {
        int subpaths = 0;
        for (const auto& command : fill->path.commands()) {
            subpaths += std::holds_alternative<PathData::MoveTo>(command) ? 1 : 0;
        }
        return subpaths == 2 ? Laptop::filledBaseAndLid : Laptop::filledSlab;
    }
    EXPECT_TRUE(std::holds_alternative<Drawing::Stroke>(last));
    return Laptop::outlinedSlab;
}

TEST(CupOnLaptop, LaptopIsSolidUntilItsHollowWouldShow) {
    const struct {
        bool filled;
        double height;
        double scale;
        Laptop expected;
    } cases[] = {
        // Menu-bar size, both scales: solid even under the outlined cup.
        {false, 14, 1, Laptop::filledSlab},
        {false, 14, 2, Laptop::filledSlab},
        {false, 37, 1, Laptop::filledSlab},
        {false, 19, 2, Laptop::filledSlab},
        // From about 38 device pixels the 0.11-unit hollow reaches 2.5 pixels.
        {false, 38.1, 1, Laptop::outlinedSlab},
        {false, 20, 2, Laptop::outlinedSlab},
        {false, 100, 1, Laptop::outlinedSlab},
        // Under a solid cup: one slab up to full detail, then base and lid.
        {true, 14, 1, Laptop::filledSlab},
        {true, 14, 2, Laptop::filledBaseAndLid},
        {true, 100, 1, Laptop::filledBaseAndLid},
        {true, 5, 1, Laptop::filledSlab},
    };
    for (const auto& c : cases) {
        const PathRect rect{0, 0, c.height * CupOnLaptop::aspect, c.height};
        const Drawing drawing =
            CupOnLaptop::drawing(c.filled, rect, CupOnLaptop::detail(c.height * c.scale), c.scale);
        EXPECT_EQ(laptopOf(drawing), c.expected) << c.filled << " " << c.height << "@" << c.scale;
        const Placement place(rect, CupOnLaptop::detail(c.height * c.scale), c.scale);
        EXPECT_EQ(CupOnLaptop::drawsSolidLaptop(c.filled, place), c.expected != Laptop::outlinedSlab);
    }
}

TEST(CupOnLaptop, OutlinedCupClipsItsHandleToTheOutsideOfTheBody) {
    const PathRect rect = rectWithUnit(10);
    const Placement place(rect, Detail::full, 1);
    const Drawing outlined = CupOnLaptop::drawing(false, rect, Detail::full, 1);
    ASSERT_EQ(outlined.operations.size(), 5u);
    const auto& body = std::get<Drawing::Stroke>(outlined.operations[0]);
    EXPECT_EQ(body.path, CupOnLaptop::bodyPath(place, 0.0725));
    EXPECT_DOUBLE_EQ(body.lineWidth, 1.45);
    const auto& clip = std::get<Drawing::BeginClip>(outlined.operations[1]);
    EXPECT_EQ(clip.rule, Drawing::FillRule::evenOdd);
    // The clip is the rectangle grown by a line width, with the outer body cut out of it.
    const auto clipPoints = cornerPoints(clip.path);
    EXPECT_EQ(clipPoints.front(), (PathPoint{-1.45, -1.45}));
    EXPECT_EQ(clipPoints[2], (PathPoint{rect.maxX() + 1.45, rect.maxY() + 1.45}));
    PathData outerBody;
    outerBody.append(CupOnLaptop::bodyPath(place, 0));
    EXPECT_EQ(std::vector(clip.path.commands().end() - static_cast<long>(outerBody.commands().size()),
                          clip.path.commands().end()),
              outerBody.commands());
    EXPECT_EQ(std::get<Drawing::Stroke>(outlined.operations[2]).path, CupOnLaptop::handlePath(place));
    EXPECT_TRUE(std::holds_alternative<Drawing::EndClip>(outlined.operations[3]));

    // Solid: the body is filled and the handle stroked over it, unclipped.
    const Drawing solid = CupOnLaptop::drawing(true, rect, Detail::full, 1);
    ASSERT_EQ(solid.operations.size(), 3u);
    EXPECT_EQ(std::get<Drawing::Fill>(solid.operations[0]).path, CupOnLaptop::bodyPath(place, 0));
    EXPECT_EQ(std::get<Drawing::Stroke>(solid.operations[1]).path, CupOnLaptop::handlePath(place));

    // Blunt has no handle at all.
    for (const bool filled : {false, true}) {
        const Drawing blunt = CupOnLaptop::drawing(filled, {0, 0, 7 * CupOnLaptop::aspect, 7}, Detail::blunt, 1);
        EXPECT_EQ(blunt.operations.size(), 2u) << filled;
    }
}

TEST(CupOnLaptop, HandleEllipseReachesTheBoxsRightMargin) {
    const PathRect rect = rectWithUnit(10);
    const Placement place(rect, Detail::full, 1);
    const PathData handle = CupOnLaptop::handlePath(place);
    const auto& ellipse = std::get<PathData::Ellipse>(handle.commands().front());
    // Half a line width outside the ellipse is the ink's edge, one margin short of the box.
    EXPECT_NEAR(ellipse.rect.maxX() + 0.725, rect.maxX() - 0.725, 1e-9);
    EXPECT_NEAR(ellipse.rect.width, 5.744, 1e-9);
    EXPECT_NEAR(ellipse.rect.height, 6.769, 1e-9);
}

} // namespace
} // namespace staywake
