#include "Staywake/Icon/TemplateImage.h"

#include <QPixmap>

#include <cmath>

namespace staywake {

TemplateImage TemplateImage::drawn(QSizeF size, const Drawer& drawer) {
    TemplateImage image;
    image.size_ = size;
    for (const int scale : scales) {
        // std::round rounds halves away from zero, as bitmap sizes are meant to.
        const int width = static_cast<int>(std::round(size.width() * scale));
        const int height = static_cast<int>(std::round(size.height() * scale));
        if (width <= 0 || height <= 0) {
            return TemplateImage{};
        }
        QImage bitmap(width, height, QImage::Format_ARGB32_Premultiplied);
        bitmap.setDevicePixelRatio(scale);
        bitmap.fill(Qt::transparent);
        {
            QPainter painter(&bitmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            drawer(painter, size, scale);
        }
        image.representations_.push_back(std::move(bitmap));
    }
    return image;
}

QImage TemplateImage::representation(int scale) const {
    for (const QImage& bitmap : representations_) {
        if (bitmap.devicePixelRatio() == scale) {
            return bitmap;
        }
    }
    return QImage{};
}

QImage TemplateImage::bestRepresentation(double scale) const {
    if (representations_.empty()) {
        return QImage{};
    }
    for (const QImage& bitmap : representations_) {
        if (bitmap.devicePixelRatio() >= scale) {
            return bitmap;
        }
    }
    return representations_.back();
}

QIcon TemplateImage::tinted(const QColor& color) const {
    QIcon result;
    for (QImage bitmap : representations_) {
        QPainter painter(&bitmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(QRectF(QPointF(0, 0), size_), color);
        painter.end();
        result.addPixmap(QPixmap::fromImage(bitmap));
    }
    return result;
}

} // namespace staywake
