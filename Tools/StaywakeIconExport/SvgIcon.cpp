#include "StaywakeIconExport/SvgIcon.h"

#include "Staywake/Icon/AppIcon.h"

#include <QColor>

#include <cmath>
#include <numbers>
#include <sstream>
#include <variant>

namespace staywake {

namespace {

std::string number(double value) {
    std::ostringstream text;
    text.precision(6);
    text << (std::abs(value) < 1e-9 ? 0.0 : value);
    return text.str();
}

std::string point(PathPoint p) { return number(p.x) + " " + number(p.y); }

std::string fillRule(Drawing::FillRule rule) { return rule == Drawing::FillRule::evenOdd ? "evenodd" : "nonzero"; }

} // namespace

std::string svgPathData(const PathData& path) {
    std::string data;
    PathPoint current;
    PathPoint subpathStart;
    for (const auto& command : path.commands()) {
        if (const auto* move = std::get_if<PathData::MoveTo>(&command)) {
            data += "M" + point(move->point) + " ";
            current = subpathStart = move->point;
        } else if (const auto* line = std::get_if<PathData::LineTo>(&command)) {
            data += "L" + point(line->point) + " ";
            current = line->point;
        } else if (const auto* arc = std::get_if<PathData::TangentArc>(&command)) {
            if (const auto resolved = PathData::resolve(current, *arc)) {
                // In y-upwards space a positive sweep runs from +x towards +y: SVG's sweep flag 1.
                data += "L" + point(resolved->start) + " A" + number(resolved->radius) + " " +
                        number(resolved->radius) + " 0 " +
                        (std::abs(resolved->sweep) > std::numbers::pi ? "1" : "0") + " " +
                        (resolved->sweep > 0 ? "1" : "0") + " " + point(resolved->end) + " ";
                current = resolved->end;
            } else {
                data += "L" + point(arc->tangent1End) + " ";
                current = arc->tangent1End;
            }
        } else if (const auto* curve = std::get_if<PathData::QuadCurveTo>(&command)) {
            data += "Q" + point(curve->control) + " " + point(curve->point) + " ";
            current = curve->point;
        } else if (const auto* ellipse = std::get_if<PathData::Ellipse>(&command)) {
            const PathRect& r = ellipse->rect;
            const std::string radii = number(r.width / 2) + " " + number(r.height / 2);
            const double middle = r.y + r.height / 2;
            data += "M" + point({r.maxX(), middle}) + " A" + radii + " 0 1 1 " + point({r.minX(), middle}) + " A" +
                    radii + " 0 1 1 " + point({r.maxX(), middle}) + " Z ";
            current = PathPoint{r.maxX(), middle};
        } else {
            data += "Z ";
            current = subpathStart;
        }
    }
    if (!data.empty()) {
        data.pop_back();
    }
    return data;
}

std::string svgAppIcon(int side) {
    const Drawing glyph = AppIcon::glyph(side);
    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << side << "\" height=\"" << side
        << "\" viewBox=\"0 0 " << side << " " << side << "\">\n"
        << "  <defs>\n"
        << "    <linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
        << "      <stop offset=\"0\" stop-color=\"" << AppIcon::tileTop.name().toStdString() << "\"/>\n"
        << "      <stop offset=\"1\" stop-color=\"" << AppIcon::tileBottom.name().toStdString() << "\"/>\n"
        << "    </linearGradient>\n";
    int clips = 0;
    for (const auto& operation : glyph.operations) {
        if (const auto* clip = std::get_if<Drawing::BeginClip>(&operation)) {
            svg << "    <clipPath id=\"clip" << clips++ << "\"><path clip-rule=\"" << fillRule(clip->rule)
                << "\" d=\"" << svgPathData(clip->path) << "\"/></clipPath>\n";
        }
    }
    const double radius = AppIcon::cornerShare * side;
    svg << "  </defs>\n"
        << "  <rect width=\"" << side << "\" height=\"" << side << "\" rx=\"" << number(radius) << "\" ry=\""
        << number(radius) << "\" fill=\"url(#tile)\"/>\n"
        << "  <g transform=\"translate(0 " << side << ") scale(1 -1)\" fill=\"#ffffff\" stroke=\"#ffffff\">\n";
    clips = 0;
    std::string indent = "    ";
    for (const auto& operation : glyph.operations) {
        if (const auto* fill = std::get_if<Drawing::Fill>(&operation)) {
            svg << indent << "<path stroke=\"none\" fill-rule=\"" << fillRule(fill->rule) << "\" d=\""
                << svgPathData(fill->path) << "\"/>\n";
        } else if (const auto* stroke = std::get_if<Drawing::Stroke>(&operation)) {
            svg << indent << "<path fill=\"none\" stroke-width=\"" << number(stroke->lineWidth)
                << "\" stroke-linecap=\"butt\" stroke-linejoin=\"miter\" stroke-miterlimit=\"10\" d=\""
                << svgPathData(stroke->path) << "\"/>\n";
        } else if (std::holds_alternative<Drawing::BeginClip>(operation)) {
            svg << indent << "<g clip-path=\"url(#clip" << clips++ << ")\">\n";
            indent += "  ";
        } else {
            indent.resize(indent.size() - 2);
            svg << indent << "</g>\n";
        }
    }
    svg << "  </g>\n</svg>\n";
    return svg.str();
}

} // namespace staywake
