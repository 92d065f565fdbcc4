#include "Staywake/Panel/CupGlyphImage.h"

#include "Staywake/Icon/GlyphImage.h"

#include <QPainter>
#include <cmath>

namespace staywake {

CupGlyphImage::CupGlyphImage(CupGlyph glyph, double pointSize, QWidget* parent)
    : QWidget(parent), glyph_(glyph), pointSize_(pointSize) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CupGlyphImage::setGlyph(CupGlyph glyph) {
    if (glyph == glyph_) {
        return;
    }
    const bool resized = sizeOf(glyph, pointSize_) != sizeOf(glyph_, pointSize_);
    glyph_ = glyph;
    if (resized) {
        updateGeometry();
    }
    update();
}

QSizeF CupGlyphImage::sizeOf(CupGlyph glyph, double pointSize) { return image(glyph, pointSize).size(); }

QSize CupGlyphImage::sizeHint() const {
    const QSizeF size = sizeOf(glyph_, pointSize_);
    return QSize(static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height())));
}

void CupGlyphImage::paint(QPainter& painter, CupGlyph glyph, double pointSize, const QRectF& frame,
                          const QColor& color) {
    const TemplateImage drawn = image(glyph, pointSize);
    if (drawn.isEmpty()) {
        return;
    }
    const QSizeF size = drawn.size();
    const QRectF target(QPointF(std::round(frame.center().x() - size.width() / 2),
                                std::round(frame.center().y() - size.height() / 2)),
                        size);
    // The icon holds the 1x and 2x bitmaps and picks the one for the screen.
    drawn.tinted(color).paint(&painter, target.toAlignedRect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
}

void CupGlyphImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, glyph_, pointSize_, QRectF(rect()), palette().color(foregroundRole()));
}

} // namespace staywake
