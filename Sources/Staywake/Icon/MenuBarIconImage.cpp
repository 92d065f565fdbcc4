#include "Staywake/Icon/MenuBarIconImage.h"

#include "Staywake/Icon/DrawingPainter.h"
#include "Staywake/Icon/GlyphImage.h"

namespace staywake {

TemplateImage image(const MenuBarIcon& icon, Qt::LayoutDirection layoutDirection) {
    const TemplateImage base = icon.keepsLidClosedAwake
                                   ? mugPairImage(MenuBarIcon::mugPairPointSize, icon.isOn)
                                   : cupOnLaptopImage(MenuBarIcon::cupSize().height, icon.isOn);
    if (!icon.showsTimerBadge || base.isEmpty() || !(base.size().width() > 0)) {
        return base;
    }
    const auto badge = symbolImage("clock.fill", MenuBarIcon::badgePointSize);
    if (!badge || badge->isEmpty()) {
        return base;
    }

    const auto layout = icon.badgeLayout(PathSize{base.size().width(), base.size().height()},
                                         PathSize{badge->size().width(), badge->size().height()},
                                         layoutDirection == Qt::RightToLeft);
    const double height = layout.canvas.height;
    return TemplateImage::drawn(QSizeF(layout.canvas.width, height), [&](QPainter& painter, QSizeF, double scale) {
        painter.drawImage(DrawingPainter::canvasRect(layout.base, height), base.bestRepresentation(scale));
        // A clear ring keeps the badge apart from the cup or mugs it overlaps.
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawEllipse(DrawingPainter::canvasRect(layout.clearedOval, height));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(DrawingPainter::canvasRect(layout.badge, height), badge->bestRepresentation(scale));
    });
}

} // namespace staywake
