#include "Staywake/Icon/CupOnLaptopPainting.h"

#include "Staywake/Icon/DrawingPainter.h"

namespace staywake::CupOnLaptop {

void draw(bool filled, const QRectF& rect, Detail detail, double deviceScale, QPainter& painter) {
    DrawingPainter::paint(painter, drawing(filled, DrawingPainter::drawingRect(rect), detail, deviceScale), rect);
}

} // namespace staywake::CupOnLaptop
