#include "Staywake/Icon/DrawingPainter.h"

#include <QPen>

#include <cmath>
#include <numbers>
#include <variant>

namespace staywake::DrawingPainter {

namespace {

constexpr double degreesPerRadian = 180 / std::numbers::pi;

// Strokes end square at their ends and meet in mitres, cut off where two lines meet at a
// sharp angle (five line widths from the join, as ten widths of mitre length elsewhere).
QPen inkPen(double lineWidth) {
    QPen pen(Qt::black, lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(5);
    return pen;
}

Qt::FillRule qtRule(Drawing::FillRule rule) {
    return rule == Drawing::FillRule::evenOdd ? Qt::OddEvenFill : Qt::WindingFill;
}

} // namespace

QPainterPath painterPath(const PathData& path, Qt::FillRule rule) {
    QPainterPath result;
    result.setFillRule(rule);
    PathPoint current;
    PathPoint subpathStart;
    for (const auto& command : path.commands()) {
        if (const auto* move = std::get_if<PathData::MoveTo>(&command)) {
            result.moveTo(move->point.x, move->point.y);
            current = subpathStart = move->point;
        } else if (const auto* line = std::get_if<PathData::LineTo>(&command)) {
            result.lineTo(line->point.x, line->point.y);
            current = line->point;
        } else if (const auto* arc = std::get_if<PathData::TangentArc>(&command)) {
            if (const auto resolved = PathData::resolve(current, *arc)) {
                const double r = resolved->radius;
                const QRectF box(resolved->center.x - r, resolved->center.y - r, 2 * r, 2 * r);
                // Qt measures its angles with y downwards; this path is y upwards, so they turn
                // the other way.
                result.lineTo(resolved->start.x, resolved->start.y);
                result.arcTo(box, -resolved->startAngle * degreesPerRadian, -resolved->sweep * degreesPerRadian);
                result.lineTo(resolved->end.x, resolved->end.y);
                current = resolved->end;
            } else {
                result.lineTo(arc->tangent1End.x, arc->tangent1End.y);
                current = arc->tangent1End;
            }
        } else if (const auto* curve = std::get_if<PathData::QuadCurveTo>(&command)) {
            result.quadTo(curve->control.x, curve->control.y, curve->point.x, curve->point.y);
            current = curve->point;
        } else if (const auto* ellipse = std::get_if<PathData::Ellipse>(&command)) {
            const PathRect& r = ellipse->rect;
            result.addEllipse(QRectF(r.x, r.y, r.width, r.height));
            current = PathPoint{r.maxX(), r.y + r.height / 2};
        } else {
            result.closeSubpath();
            current = subpathStart;
        }
    }
    return result;
}

PathRect drawingRect(const QRectF& frame) { return PathRect{frame.x(), frame.y(), frame.width(), frame.height()}; }

QRectF canvasRect(const PathRect& rect, double canvasHeight) {
    return QRectF(rect.x, canvasHeight - rect.y - rect.height, rect.width, rect.height);
}

void paint(QPainter& painter, const Drawing& drawing, const QRectF& frame) {
    painter.save();
    // Mirror about the frame's middle: drawing space runs upwards from the frame's bottom.
    painter.translate(0, frame.top() + frame.bottom());
    painter.scale(1, -1);
    int clipDepth = 0;
    for (const auto& operation : drawing.operations) {
        if (const auto* fill = std::get_if<Drawing::Fill>(&operation)) {
            painter.fillPath(painterPath(fill->path, qtRule(fill->rule)), Qt::black);
        } else if (const auto* stroke = std::get_if<Drawing::Stroke>(&operation)) {
            painter.strokePath(painterPath(stroke->path), inkPen(stroke->lineWidth));
        } else if (const auto* clip = std::get_if<Drawing::BeginClip>(&operation)) {
            painter.save();
            ++clipDepth;
            painter.setClipPath(painterPath(clip->path, qtRule(clip->rule)), Qt::IntersectClip);
        } else if (clipDepth > 0) {
            painter.restore();
            --clipDepth;
        }
    }
    while (clipDepth-- > 0) {
        painter.restore();
    }
    painter.restore();
}

} // namespace staywake::DrawingPainter
