#include "Staywake/Icon/GlyphImage.h"

#include "Staywake/Icon/DrawingPainter.h"
#include "StaywakeCore/Icon/CupOnLaptop.h"
#include "StaywakeCore/Icon/DrawnSymbol.h"
#include "StaywakeCore/Icon/MugPair.h"

#include <cmath>

namespace staywake {

namespace {

QRectF onCanvas(double x, double y, QSizeF size, double canvasHeight) {
    return DrawingPainter::canvasRect(PathRect{x, y, size.width(), size.height()}, canvasHeight);
}

} // namespace

std::optional<TemplateImage> symbolImage(std::string_view name, double pointSize) {
    const auto symbol = DrawnSymbol::named(name);
    if (!symbol) {
        return std::nullopt;
    }
    const PathSize size = symbol->size(pointSize);
    return TemplateImage::drawn(
        QSizeF(size.width, size.height), [&](QPainter& painter, QSizeF points, double scale) {
            const QRectF frame(QPointF(0, 0), points);
            DrawingPainter::paint(painter, symbol->drawing(DrawingPainter::drawingRect(frame), scale), frame);
        });
}

TemplateImage image(const CupGlyph& glyph, double pointSize) {
    if (glyph.vessel == CupGlyph::Vessel::doubleMug) {
        return mugPairImage(pointSize, glyph.isFilled);
    }
    const double height = std::round(0.96 * pointSize);
    if (!(height > 0)) {
        return TemplateImage{};
    }
    return cupOnLaptopImage(height, glyph.isFilled);
}

TemplateImage cupOnLaptopImage(double height, bool filled) {
    const QSizeF size(std::round(height * CupOnLaptop::aspect), height);
    return TemplateImage::drawn(size, [filled](QPainter& painter, QSizeF points, double scale) {
        const QRectF frame(QPointF(0, 0), points);
        const auto detail = CupOnLaptop::detail(points.height() * scale);
        DrawingPainter::paint(
            painter, CupOnLaptop::drawing(filled, DrawingPainter::drawingRect(frame), detail, scale), frame);
    });
}

TemplateImage mugPairImage(double pointSize, bool filled) {
    const char* symbolName = filled ? "mug.fill" : "mug";
    const auto base = symbolImage(symbolName, pointSize);
    if (!base || base->isEmpty()) {
        return TemplateImage{};
    }
    const double baseHeight = base->size().height();
    const auto smaller = MugPair::mugPointSize(pointSize, baseHeight, [symbolName](double size) {
        const auto candidate = symbolImage(symbolName, size);
        return candidate ? candidate->size().height() : 0.0;
    });
    if (!smaller) {
        return *base;
    }
    const auto mug = symbolImage(symbolName, *smaller);
    const auto stencil = symbolImage("mug.fill", *smaller);
    if (!mug || !stencil || mug->isEmpty() || stencil->isEmpty()) {
        return *base;
    }

    const QSizeF mugSize = mug->size();
    const auto layout = MugPair::layout(PathSize{mugSize.width(), mugSize.height()}, baseHeight);
    const QSizeF canvas(layout.canvas.width, layout.canvas.height);
    return TemplateImage::drawn(canvas, [&](QPainter& painter, QSizeF, double scale) {
        const QImage mugBitmap = mug->bestRepresentation(scale);
        const QImage stencilBitmap = stencil->bestRepresentation(scale);
        painter.drawImage(onCanvas(layout.back.x, layout.back.y, mugSize, canvas.height()), mugBitmap);

        // Stamp the filled shape out of the back mug under and around the front one, so the
        // two read as separate mugs.
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        for (const PathPoint offset : MugPair::knockout(mugSize.height(), MugPair::gap(filled, scale))) {
            painter.drawImage(
                onCanvas(layout.front.x + offset.x, layout.front.y + offset.y, mugSize, canvas.height()),
                stencilBitmap);
        }
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(onCanvas(layout.front.x, layout.front.y, mugSize, canvas.height()), mugBitmap);
    });
}

} // namespace staywake
