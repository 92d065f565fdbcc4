#pragma once

#include "StaywakeCore/Icon/Drawing.h"
#include "StaywakeCore/Icon/PathData.h"

#include <QPainter>
#include <QPainterPath>
#include <QRectF>

namespace staywake::DrawingPainter {

/// The outline as a painter path, in the same coordinates.
QPainterPath painterPath(const PathData& path, Qt::FillRule rule = Qt::WindingFill);

/// The rectangle of drawing space (y upwards) that `frame` becomes once painted with `paint`:
/// the same numbers, read from the bottom up.
PathRect drawingRect(const QRectF& frame);

/// Where `rect` (y upwards, on a canvas `canvasHeight` high) lands in the painter's
/// y-downwards coordinates.
QRectF canvasRect(const PathRect& rect, double canvasHeight);

/// Plays `drawing`, made for `drawingRect(frame)`, into `frame` in black ink.
void paint(QPainter& painter, const Drawing& drawing, const QRectF& frame);

} // namespace staywake::DrawingPainter
