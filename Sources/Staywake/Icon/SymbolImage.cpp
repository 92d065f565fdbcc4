#include "Staywake/Icon/SymbolImage.h"

#include "Staywake/Icon/DrawingPainter.h"
#include "StaywakeCore/Icon/DrawnSymbol.h"

namespace staywake {

std::optional<TemplateImage> symbolImage(std::string_view name, double pointSize) {
    const auto symbol = DrawnSymbol::named(name);
    if (!symbol) {
        return std::nullopt;
    }
    const PathSize size = symbol->size(pointSize);
    return TemplateImage::drawn(QSizeF(size.width, size.height), [&](QPainter& painter, QSizeF points, double scale) {
        const QRectF frame(QPointF(0, 0), points);
        DrawingPainter::paint(painter, symbol->drawing(DrawingPainter::drawingRect(frame), scale), frame);
    });
}

} // namespace staywake
