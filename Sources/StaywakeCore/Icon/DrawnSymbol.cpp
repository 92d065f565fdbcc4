#include "StaywakeCore/Icon/DrawnSymbol.h"

#include "StaywakeCore/Icon/CupOnLaptop.h"
#include "StaywakeCore/Icon/Vessel.h"

#include <algorithm>
#include <cmath>

namespace staywake {

namespace {

// Symbols stand as high as the cup glyph at the same point size.
constexpr double heightPerPointSize = 0.96;

// The mug, in the cup's units (same ink height, margin and line width): a straight-sided
// body with softly rounded top corners and rounder bottom ones, and a loop handle.
struct Mug {
    static constexpr double bodyWidth = 1.3;
    static constexpr double topRadius = 0.1;
    static constexpr double bottomRadius = 0.3;
    static constexpr PathRect handle{1.04, 0.42, 0.62, 0.76};
    static constexpr double boxWidth = handle.x + handle.width + 3 * CupOnLaptop::strokeInset;
    static constexpr double aspect = boxWidth / CupOnLaptop::boxHeight;
};

// Maps mug units into a rectangle, centring the box horizontally.
struct MugFrame {
    PathRect rect;
    double unit;
    double xOffset;

    explicit MugFrame(PathRect target)
        : rect(target), unit(target.height / CupOnLaptop::boxHeight),
          xOffset((target.width - Mug::boxWidth * unit) / 2) {}

    PathPoint point(double x, double y) const {
        return {rect.minX() + xOffset + (x + CupOnLaptop::strokeInset) * unit,
                rect.minY() + (y + CupOnLaptop::strokeInset) * unit};
    }
};

PathData mugBody(const MugFrame& frame, double inset) {
    const double left = inset;
    const double right = Mug::bodyWidth - inset;
    const double bottom = inset;
    const double top = CupOnLaptop::inkHeight - inset;
    const double topRadius = frame.unit * std::max(Mug::topRadius - inset, 0.0);
    const double bottomRadius = frame.unit * std::max(Mug::bottomRadius - inset, 0.0);
    const double middle = (left + right) / 2;

    PathData path;
    path.moveTo(frame.point(middle, top));
    path.addArc(frame.point(right, top), frame.point(right, bottom), topRadius);
    path.addArc(frame.point(right, bottom), frame.point(left, bottom), bottomRadius);
    path.addArc(frame.point(left, bottom), frame.point(left, top), bottomRadius);
    path.addArc(frame.point(left, top), frame.point(middle, top), topRadius);
    path.closeSubpath();
    return path;
}

Drawing mugDrawing(PathRect rect, bool filled) {
    const MugFrame frame(rect);
    PathData handle;
    const PathPoint handleOrigin = frame.point(Mug::handle.minX(), Mug::handle.minY());
    handle.addEllipse(
        {handleOrigin.x, handleOrigin.y, Mug::handle.width * frame.unit, Mug::handle.height * frame.unit});
    const Vessel mug{mugBody(frame, 0), mugBody(frame, CupOnLaptop::strokeInset), handle, rect,
                     CupOnLaptop::lineWidth * frame.unit};
    Drawing drawing;
    mug.appendTo(drawing, filled);
    return drawing;
}

// A filled dial with its two hands cut out, as wide as the cup's line weight but never
// thinner than a device pixel, and laid on whole pixels so they stay crisp at badge size.
Drawing clockDrawing(PathRect rect, double deviceScale) {
    const double side = std::min(rect.width, rect.height);
    const double radius = side / 2;
    const double pixels =
        std::max(1.0, std::round(side * CupOnLaptop::lineWidth / CupOnLaptop::boxHeight * deviceScale));
    const double handWidth = pixels / deviceScale;
    // An odd number of pixels is centred on a pixel's middle, an even one on a pixel edge.
    const auto onGrid = [&](double value) {
        const double offset = std::fmod(pixels, 2.0) == 1.0 ? 0.5 : 0.0;
        return (std::floor(value * deviceScale - offset) + offset) / deviceScale;
    };
    const double centerX = onGrid(rect.minX() + rect.width / 2);
    const double centerY = onGrid(rect.minY() + rect.height / 2);
    const double half = handWidth / 2;
    const double minuteHand = std::round(radius * 0.64 * deviceScale) / deviceScale;
    const double hourHand = std::round(radius * 0.5 * deviceScale) / deviceScale;

    PathData path;
    path.addEllipse({rect.minX() + (rect.width - side) / 2, rect.minY() + (rect.height - side) / 2, side, side});
    // The hands do not overlap, so even-odd cuts each out exactly once.
    const auto addRect = [&path](double left, double bottom, double right, double top) {
        path.moveTo({left, bottom});
        path.lineTo({right, bottom});
        path.lineTo({right, top});
        path.lineTo({left, top});
        path.closeSubpath();
    };
    addRect(centerX - half, centerY - half, centerX + half, centerY + minuteHand);
    addRect(centerX + half, centerY - half, centerX + hourHand, centerY + half);

    Drawing drawing;
    drawing.operations.emplace_back(Drawing::Fill{path, Drawing::FillRule::evenOdd});
    return drawing;
}

} // namespace

std::optional<DrawnSymbol> DrawnSymbol::named(std::string_view name) {
    if (name == "mug") {
        return DrawnSymbol(Kind::mug);
    }
    if (name == "mug.fill") {
        return DrawnSymbol(Kind::filledMug);
    }
    if (name == "clock.fill") {
        return DrawnSymbol(Kind::filledClock);
    }
    return std::nullopt;
}

PathSize DrawnSymbol::size(double pointSize) const {
    const double height = std::max(std::round(heightPerPointSize * pointSize), 0.0);
    const double aspect = kind_ == Kind::filledClock ? 1.0 : Mug::aspect;
    return PathSize{std::round(height * aspect), height};
}

Drawing DrawnSymbol::drawing(PathRect rect, double deviceScale) const {
    const double scale = deviceScale > 0 ? deviceScale : 1;
    switch (kind_) {
    case Kind::mug:
        return mugDrawing(rect, false);
    case Kind::filledMug:
        return mugDrawing(rect, true);
    case Kind::filledClock:
        return clockDrawing(rect, scale);
    }
    return Drawing{};
}

} // namespace staywake
