#include "Staywake/Icon/AppIcon.h"

#include "Staywake/Icon/DrawingPainter.h"
#include "StaywakeCore/Icon/CupOnLaptop.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace staywake::AppIcon {

PathRect glyphRect(int pixels) {
    // The glyph spans seven tenths of the tile, centred; on the smallest tiles, where every
    // pixel counts, more of it.
    const double side = pixels;
    const double share = pixels <= 24 ? 0.84 : 0.7;
    const double height = std::max(1.0, std::round(side * share / CupOnLaptop::aspect));
    const double width = std::round(height * CupOnLaptop::aspect);
    return PathRect{std::round((side - width) / 2), std::round((side - height) / 2), width, height};
}

Drawing glyph(int pixels) {
    const PathRect rect = glyphRect(pixels);
    return CupOnLaptop::drawing(true, rect, CupOnLaptop::detail(rect.height), 1);
}

QImage image(int pixels) {
    QImage result(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);

    QImage ink(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    ink.fill(Qt::transparent);
    {
        QPainter painter(&ink);
        painter.setRenderHint(QPainter::Antialiasing);
        DrawingPainter::paint(painter, glyph(pixels), QRectF(0, 0, pixels, pixels));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(ink.rect(), Qt::white);
    }

    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, pixels);
    gradient.setColorAt(0, tileTop);
    gradient.setColorAt(1, tileBottom);
    const double radius = cornerShare * pixels;
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(0, 0, pixels, pixels), radius, radius);
    painter.drawImage(0, 0, ink);
    return result;
}

QIcon icon() {
    QIcon result;
    for (const int pixels : themeSizes) {
        result.addPixmap(QPixmap::fromImage(image(pixels)));
    }
    return result;
}

} // namespace staywake::AppIcon
