#include "Staywake/App/TrayIconImage.h"

#include "Staywake/Icon/MenuBarIconImage.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace staywake {

namespace {

/// Below this the drawing keeps its own size, which is drawn for the device
/// pixel grid, rather than being resampled a little larger.
constexpr double smallestEnlargement = 1.5;

constexpr int traySlotSizes[] = {16, 20, 22, 24, 32, 48, 64};

} // namespace

QImage trayImage(const MenuBarIcon& icon, Qt::LayoutDirection direction, QSize slot, double devicePixelRatio,
                 const QColor& ink) {
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    QImage canvas(std::max(1, static_cast<int>(std::lround(slot.width() * ratio))),
                  std::max(1, static_cast<int>(std::lround(slot.height() * ratio))),
                  QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);

    const TemplateImage drawing = image(icon, direction);
    const QSizeF size = drawing.size();
    if (drawing.isEmpty() || size.isEmpty() || slot.isEmpty()) {
        return canvas;
    }
    double scale = std::min(slot.width() / size.width(), slot.height() / size.height());
    if (scale >= 1 && scale < smallestEnlargement) {
        scale = 1;
    }
    const QSizeF drawn = size * scale;
    // Whole device pixels, so the drawing's own pixel snapping survives.
    const QPointF origin(std::round((slot.width() - drawn.width()) / 2 * ratio) / ratio,
                         std::round((slot.height() - drawn.height()) / 2 * ratio) / ratio);

    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scale != 1);
    painter.drawImage(QRectF(origin, drawn), drawing.bestRepresentation(scale * ratio));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(slot)), ink);
    return canvas;
}

QIcon trayIcon(const MenuBarIcon& icon, Qt::LayoutDirection direction, double devicePixelRatio,
               const QColor& ink) {
    QIcon result;
    for (const int side : traySlotSizes) {
        result.addPixmap(QPixmap::fromImage(trayImage(icon, direction, QSize(side, side), devicePixelRatio, ink)));
    }
    return result;
}

} // namespace staywake
