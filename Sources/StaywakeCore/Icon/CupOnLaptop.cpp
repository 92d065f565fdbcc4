#include "StaywakeCore/Icon/CupOnLaptop.h"

#include "StaywakeCore/Icon/Vessel.h"

#include <algorithm>
#include <cmath>

namespace staywake::CupOnLaptop {

namespace {

// The cup body: a rim, a narrower foot and rounded bottom corners.
struct Body {
    static constexpr double rimY = inkHeight;
    static constexpr double rimLeft = 0.1;
    static constexpr double rimRight = 1.792;
    static constexpr double footY = 0.53;
    static constexpr double footLeft = 0.321;
    static constexpr double footRight = 1.572;
    static constexpr double cornerRadius = 0.282;
};

// The full-detail laptop: a base and a lid over a thin gap, the lid's front lower.
constexpr double baseTop = 0.204;
constexpr double lidBottom = 0.24;
constexpr double lidTaper = 0.045;

// An outlined slab keeps this much hollow between its strokes.
constexpr double slabHollow = laptopHeight - 2 * lineWidth;
constexpr double smallestHollowInPixels = 2.5;

// The lid's soft front: its top corners run this many times their side rounding along the top.
constexpr double lidFrontStretch = 2.5;

// The foot's height: when snapping, the foot stays a pixel clear of the laptop's top (which
// itself stays a pixel above the laptop's bottom) unless that would crowd the rim.
double footY(const Placement& place, double units, double rimY) {
    double value = place.y(units);
    if (place.snaps) {
        const double laptopBottom = place.y(0);
        const double laptopTop = std::max(place.y(laptopHeight), laptopBottom + place.pixel());
        const double raised = laptopTop + place.pixel();
        if (raised > value && rimY - raised >= place.pixel()) {
            value = raised;
        }
    }
    return value;
}

} // namespace

double inkWidth(Detail detail) { return detail == Detail::blunt ? laptopWidth + 2 * strokeInset : boxWidth; }

Detail detail(double heightInPixels) {
    if (heightInPixels < 8) {
        return Detail::blunt;
    }
    // The gap between base and lid and the lid itself need room to be seen.
    const double laptopPixels = 0.4 * heightInPixels;
    if (laptopPixels * 0.09 / boxHeight < 0.6 || laptopPixels * 0.4 / boxHeight < 2.0) {
        return Detail::plain;
    }
    return Detail::full;
}

Placement::Placement(PathRect target, Detail detail, double scale)
    : rect(target), snaps(detail == Detail::blunt), deviceScale(scale > 0 ? scale : 1) {
    if (snaps) {
        rect.x = std::round(rect.x * deviceScale) / deviceScale;
        rect.y = std::round(rect.y * deviceScale) / deviceScale;
    }
    unit = rect.height / boxHeight;
    xOffset = unit * (boxWidth - inkWidth(detail)) / 2;
}

double Placement::snapped(double value) const {
    return snaps ? std::round(value * deviceScale) / deviceScale : value;
}

double Placement::x(double units) const { return snapped(rect.minX() + xOffset + (units + strokeInset) * unit); }

double Placement::y(double units) const { return snapped(rect.minY() + (units + strokeInset) * unit); }

PathData bodyPath(const Placement& place, double inset) {
    const double rimY = place.y(Body::rimY - inset);
    const double footHeight = footY(place, Body::footY + inset, rimY);
    const PathPoint rimLeft{place.x(Body::rimLeft + inset), rimY};
    const PathPoint rimRight{place.x(Body::rimRight - inset), rimY};
    const PathPoint footLeft{place.x(Body::footLeft + inset), footHeight};
    const PathPoint footRight{place.x(Body::footRight - inset), footHeight};
    const double radius = place.length(std::max(Body::cornerRadius - inset, 0.0));

    PathData path;
    path.moveTo(rimLeft);
    path.lineTo(rimRight);
    path.addArc(footRight, footLeft, radius);
    path.addArc(footLeft, rimLeft, radius);
    path.closeSubpath();
    return path;
}

PathData handlePath(const Placement& place) {
    const double left = place.x(handleRect.minX());
    const double bottom = place.y(handleRect.minY());
    PathData path;
    path.addEllipse({left, bottom, place.x(handleRect.maxX()) - left, place.y(handleRect.maxY()) - bottom});
    return path;
}

PathData slab(double from, double to, double taper, double xInset, bool roundBottom, bool roundTop,
              const Placement& place) {
    const double bottom = place.y(from);
    const double leftTop = std::max(place.y(to), bottom + place.pixel());
    const double rightTop = std::max(place.y(to - taper), bottom + place.pixel());
    const double left = place.x(xInset);
    const double right = place.x(laptopWidth - xInset);
    const double width = right - left;
    const double leftHeight = leftTop - bottom;
    const double rightHeight = rightTop - bottom;

    const double bottomLeftCut = roundBottom ? std::min(leftHeight, width) / 2 : 0;
    const double bottomRightCut = roundBottom ? std::min(rightHeight, width) / 2 : 0;
    const double topLeftSide = roundTop ? leftHeight / 2 : 0;
    const double topRightSide = roundTop ? rightHeight / 2 : 0;
    const double topLeftAlong = std::min(lidFrontStretch * topLeftSide, width / 2);
    const double topRightAlong = std::min(lidFrontStretch * topRightSide, width / 2);
    // The top edge slopes when tapered; its cut-back points stay on it.
    const auto topEdgeY = [&](double x) { return leftTop + (rightTop - leftTop) * (x - left) / width; };

    PathData path;
    path.moveTo({left + bottomLeftCut, bottom});
    path.lineTo({right - bottomRightCut, bottom});
    if (bottomRightCut > 0) {
        path.quadCurveTo({right, bottom}, {right, bottom + bottomRightCut});
    }
    path.lineTo({right, rightTop - topRightSide});
    if (topRightSide > 0) {
        path.quadCurveTo({right, rightTop}, {right - topRightAlong, topEdgeY(right - topRightAlong)});
    }
    path.lineTo({left + topLeftAlong, topEdgeY(left + topLeftAlong)});
    if (topLeftSide > 0) {
        path.quadCurveTo({left, leftTop}, {left, leftTop - topLeftSide});
    }
    path.lineTo({left, bottom + bottomLeftCut});
    if (bottomLeftCut > 0) {
        path.quadCurveTo({left, bottom}, {left + bottomLeftCut, bottom});
    }
    path.closeSubpath();
    return path;
}

bool drawsSolidLaptop(bool filled, const Placement& place) {
    return filled || place.length(slabHollow) * place.deviceScale < smallestHollowInPixels;
}

Drawing drawing(bool filled, PathRect rect, Detail detail, double deviceScale) {
    const Placement place(rect, detail, deviceScale);
    const double strokeWidth = place.length(lineWidth);

    Drawing result;
    Vessel cup{bodyPath(place, 0), bodyPath(place, strokeInset), std::nullopt, place.rect, strokeWidth};
    if (detail != Detail::blunt) {
        cup.handle = handlePath(place);
    }
    cup.appendTo(result, filled);

    if (filled && detail == Detail::full) {
        PathData laptop = slab(0, baseTop, 0, 0, true, false, place);
        laptop.append(slab(lidBottom, laptopHeight, lidTaper, 0, false, true, place));
        result.operations.emplace_back(Drawing::Fill{laptop, Drawing::FillRule::nonZero});
    } else if (drawsSolidLaptop(filled, place)) {
        result.operations.emplace_back(
            Drawing::Fill{slab(0, laptopHeight, 0, 0, true, true, place), Drawing::FillRule::nonZero});
    } else {
        result.operations.emplace_back(Drawing::Stroke{
            slab(strokeInset, laptopHeight - strokeInset, 0, strokeInset, true, true, place), strokeWidth});
    }
    return result;
}

} // namespace staywake::CupOnLaptop
