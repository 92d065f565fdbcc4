#include "Staywake/App/TrayIconImage.h"

#include "Staywake/Icon/MenuBarIconImage.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace staywake {

namespace {

/// Below this the drawing keeps its own size, which is drawn for the device
/// pixel grid, rather than being resampled a little larger.
constexpr double smallestEnlargement = 1.5;

constexpr int traySlotSizes[] = {16, 20, 22, 24, 32, 48, 64};

class TrayIconEngine final : public QIconEngine {
public:
    TrayIconEngine(const MenuBarIcon& icon, Qt::LayoutDirection direction, const QColor& ink)
        : icon_(icon), direction_(direction), ink_(ink) {}

    QIconEngine* clone() const override { return new TrayIconEngine(*this); }

    QString key() const override { return QStringLiteral("staywake-tray"); }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const int side : traySlotSizes) {
            sizes.append(QSize(side, side));
        }
        return sizes;
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override { return drawn(size, 1); }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal scale) override {
        // Qt asks in device pixels; the slot is the logical size.
        return scale > 1 ? drawn(size / scale, scale) : drawn(size, 1);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->drawPixmap(rect, drawn(rect.size(), painter->device()->devicePixelRatio()));
    }

private:
    QPixmap drawn(QSize slot, double ratio) {
        const auto key = std::make_tuple(slot.width(), slot.height(), ratio);
        auto found = drawn_.find(key);
        if (found == drawn_.end()) {
            found = drawn_.emplace(key, QPixmap::fromImage(trayImage(icon_, direction_, slot, ratio, ink_))).first;
        }
        return found->second;
    }

    MenuBarIcon icon_;
    Qt::LayoutDirection direction_;
    QColor ink_;
    std::map<std::tuple<int, int, double>, QPixmap> drawn_;
};

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

QIcon trayIcon(const MenuBarIcon& icon, Qt::LayoutDirection direction, const QColor& ink) {
    return QIcon(new TrayIconEngine(icon, direction, ink));
}

} // namespace staywake
