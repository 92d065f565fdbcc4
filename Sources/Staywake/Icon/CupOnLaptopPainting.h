#pragma once

#include "StaywakeCore/Icon/CupOnLaptop.h"

#include <QPainter>
#include <QRectF>

namespace staywake::CupOnLaptop {

/// Draws the cup on the laptop into `painter`, filling `rect`'s height (the ink is centred in
/// a box `aspect` times as wide), outlined or solid, at the given detail.
void draw(bool filled, const QRectF& rect, Detail detail, double deviceScale, QPainter& painter);

} // namespace staywake::CupOnLaptop
