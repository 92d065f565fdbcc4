#pragma once

#include "StaywakeCore/Icon/Drawing.h"
#include "StaywakeCore/Icon/PathData.h"

namespace staywake::CupOnLaptop {

// The drawing is measured in units, y upwards, with the origin at the bottom-left of the ink.

/// Every stroke's width.
inline constexpr double lineWidth = 0.145;
/// Half a line width: the margin around the ink, and the inset that keeps a stroke inside
/// its outline.
inline constexpr double strokeInset = lineWidth / 2;
inline constexpr double inkHeight = 1.53;
inline constexpr double boxHeight = inkHeight + 2 * strokeInset;

inline constexpr double laptopWidth = 1.892;
inline constexpr double laptopHeight = 0.4;

/// The handle: an ellipse in this rectangle, stroked.
inline constexpr PathRect handleRect{1.674, 0.7625, 0.5744, 0.6769};

/// The ink ends at the farther of the handle's outer edge and the laptop's right end.
inline constexpr double handleOuterEdge = handleRect.x + handleRect.width + strokeInset;
inline constexpr double boxWidth =
    (handleOuterEdge > laptopWidth ? handleOuterEdge : laptopWidth) + 2 * strokeInset;
inline constexpr double aspect = boxWidth / boxHeight;

/// How much of the drawing survives at a size: `full` splits the laptop into base and lid,
/// `plain` keeps one slab, `blunt` (tiny sizes) also drops the handle and snaps to pixels.
enum class Detail { full, plain, blunt };

/// The width of the ink with its margins, in units: the laptop alone when `blunt`.
double inkWidth(Detail detail);

/// The detail for a glyph this many device pixels high.
Detail detail(double heightInPixels);

/// Where the units land in a rectangle of points.
struct Placement {
    /// The target rectangle (its origin rounded to device pixels when snapping).
    PathRect rect;
    /// Points per unit: the rectangle's height holds `boxHeight`.
    double unit = 0;
    /// Coordinates are rounded to device pixels (only for `blunt`).
    bool snaps = false;
    double deviceScale = 1;
    /// Centres the narrower `blunt` ink in the box.
    double xOffset = 0;

    /// A device scale of 0 or less counts as 1.
    Placement(PathRect rect, Detail detail, double deviceScale);

    double x(double units) const;
    double y(double units) const;
    PathPoint point(double xUnits, double yUnits) const { return {x(xUnits), y(yUnits)}; }
    /// A length of so many units, in points.
    double length(double units) const { return units * unit; }
    /// One device pixel, in points.
    double pixel() const { return 1 / deviceScale; }
    /// `value` on the device-pixel grid when snapping; unchanged otherwise.
    double snapped(double value) const;
};

/// The cup body's outline inset by `inset` units (0 for the outer outline).
PathData bodyPath(const Placement& place, double inset);

/// The handle ellipse, to be stroked.
PathData handlePath(const Placement& place);

/// A four-sided laptop slab: its bottom edge at `from`, its left side rising to `to` and its
/// right side to `to` - `taper`, from x = `xInset` to `laptopWidth` - `xInset`. Corners are
/// rounded at the bottom and top as asked.
PathData slab(double from, double to, double taper, double xInset, bool roundBottom, bool roundTop,
              const Placement& place);

/// Whether a laptop under a cup drawn at this placement is filled: always under a solid cup,
/// and under an outlined one while the outlined slab's hollow would be under 2.5 device pixels.
bool drawsSolidLaptop(bool filled, const Placement& place);

/// The cup on the laptop filling `rect`'s height, outlined or solid.
Drawing drawing(bool filled, PathRect rect, Detail detail, double deviceScale);

} // namespace staywake::CupOnLaptop
