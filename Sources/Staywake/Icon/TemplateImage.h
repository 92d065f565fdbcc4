#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSizeF>

#include <functional>
#include <vector>

namespace staywake {

/// A glyph image: black ink with alpha at a size in points, held as one bitmap per device
/// scale (1x and 2x). It is a template: whoever shows it decides its colour.
class TemplateImage {
public:
    /// Draws with (painter, size in points, device scale); the painter works in points,
    /// y downwards, on a cleared bitmap, antialiased.
    using Drawer = std::function<void(QPainter&, QSizeF, double)>;

    /// The device scales every image is rendered at.
    static constexpr int scales[] = {1, 2};

    /// An image with nothing in it.
    TemplateImage() = default;

    /// Renders `size` points at every scale into bitmaps of round(size x scale) pixels.
    static TemplateImage drawn(QSizeF size, const Drawer& drawer);

    QSizeF size() const { return size_; }
    bool isEmpty() const { return representations_.empty(); }

    /// The bitmap for a device scale (its device pixel ratio set); null if there is none.
    QImage representation(int scale) const;

    /// The bitmap drawn at `scale`, or the nearest one above, else the largest.
    QImage bestRepresentation(double scale) const;

    /// The same image in `color` (ink keeps its alpha), for places that do not tint.
    QIcon tinted(const QColor& color) const;

private:
    QSizeF size_;
    std::vector<QImage> representations_;
};

} // namespace staywake
