#include "StaywakeCore/Icon/PathData.h"

#include <cmath>
#include <numbers>

namespace staywake {

namespace {

struct Vector {
    double x;
    double y;
};

double lengthOf(Vector v) { return std::hypot(v.x, v.y); }

} // namespace

void PathData::moveTo(PathPoint point) { commands_.emplace_back(MoveTo{point}); }

void PathData::lineTo(PathPoint point) { commands_.emplace_back(LineTo{point}); }

void PathData::addArc(PathPoint tangent1End, PathPoint tangent2End, double radius) {
    commands_.emplace_back(TangentArc{tangent1End, tangent2End, radius});
}

void PathData::quadCurveTo(PathPoint control, PathPoint point) {
    commands_.emplace_back(QuadCurveTo{control, point});
}

void PathData::addEllipse(PathRect rect) { commands_.emplace_back(Ellipse{rect}); }

void PathData::closeSubpath() { commands_.emplace_back(Close{}); }

void PathData::append(const PathData& other) {
    commands_.insert(commands_.end(), other.commands_.begin(), other.commands_.end());
}

std::vector<PathPoint> PathData::points() const {
    std::vector<PathPoint> result;
    PathPoint current;
    PathPoint subpathStart;
    for (const auto& command : commands_) {
        if (const auto* move = std::get_if<MoveTo>(&command)) {
            result.push_back(move->point);
            current = subpathStart = move->point;
        } else if (const auto* line = std::get_if<LineTo>(&command)) {
            result.push_back(line->point);
            current = line->point;
        } else if (const auto* arc = std::get_if<TangentArc>(&command)) {
            if (const auto resolved = resolve(current, *arc)) {
                result.push_back(resolved->start);
                result.push_back(resolved->end);
                current = resolved->end;
            } else {
                result.push_back(arc->tangent1End);
                current = arc->tangent1End;
            }
        } else if (const auto* curve = std::get_if<QuadCurveTo>(&command)) {
            result.push_back(curve->control);
            result.push_back(curve->point);
            current = curve->point;
        } else if (const auto* ellipse = std::get_if<Ellipse>(&command)) {
            const PathRect& r = ellipse->rect;
            result.insert(result.end(), {PathPoint{r.minX(), r.minY()}, PathPoint{r.maxX(), r.maxY()}});
        } else {
            current = subpathStart;
        }
    }
    return result;
}

std::optional<PathData::ResolvedArc> PathData::resolve(PathPoint current, const TangentArc& arc) {
    const PathPoint corner = arc.tangent1End;
    const Vector toCurrent{current.x - corner.x, current.y - corner.y};
    const Vector toNext{arc.tangent2End.x - corner.x, arc.tangent2End.y - corner.y};
    const double lengthToCurrent = lengthOf(toCurrent);
    const double lengthToNext = lengthOf(toNext);
    if (!(arc.radius > 0) || lengthToCurrent == 0 || lengthToNext == 0) {
        return std::nullopt;
    }
    const Vector u{toCurrent.x / lengthToCurrent, toCurrent.y / lengthToCurrent};
    const Vector v{toNext.x / lengthToNext, toNext.y / lengthToNext};
    const double cross = u.x * v.y - u.y * v.x;
    const double dot = u.x * v.x + u.y * v.y;
    // The angle at the corner between the two lines; a straight line has no corner to round.
    const double cornerAngle = std::atan2(std::abs(cross), dot);
    if (std::abs(cross) < 1e-12 || cornerAngle < 1e-12) {
        return std::nullopt;
    }
    const double tangentDistance = arc.radius / std::tan(cornerAngle / 2);
    const double centerDistance = arc.radius / std::sin(cornerAngle / 2);
    const Vector bisector{u.x + v.x, u.y + v.y};
    const double bisectorLength = lengthOf(bisector);

    ResolvedArc resolved;
    resolved.radius = arc.radius;
    resolved.start = PathPoint{corner.x + u.x * tangentDistance, corner.y + u.y * tangentDistance};
    resolved.end = PathPoint{corner.x + v.x * tangentDistance, corner.y + v.y * tangentDistance};
    resolved.center = PathPoint{corner.x + bisector.x / bisectorLength * centerDistance,
                                corner.y + bisector.y / bisectorLength * centerDistance};
    resolved.startAngle = std::atan2(resolved.start.y - resolved.center.y, resolved.start.x - resolved.center.x);
    // Travelling current -> corner -> next turns left when the incoming direction (-u) crossed
    // with the outgoing one (v) is positive; the arc turns the same way.
    const double turn = -cross;
    const double magnitude = std::numbers::pi - cornerAngle;
    resolved.sweep = turn > 0 ? magnitude : -magnitude;
    return resolved;
}

} // namespace staywake
