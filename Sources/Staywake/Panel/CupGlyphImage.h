#pragma once

#include "StaywakeCore/Icon/CupGlyph.h"

#include <QWidget>

class QPainter;

namespace staywake {

/// The app's glyph at a text point size, in the widget's text colour (the
/// glyph is a template: it takes the colour of its surroundings).
class CupGlyphImage final : public QWidget {
    Q_OBJECT

public:
    CupGlyphImage(CupGlyph glyph, double pointSize, QWidget* parent = nullptr);

    void setGlyph(CupGlyph glyph);
    CupGlyph glyph() const { return glyph_; }

    QSize sizeHint() const override;

    /// The glyph's size in pixels at a point size.
    static QSizeF sizeOf(CupGlyph glyph, double pointSize);
    /// Paints the glyph in `color`, centred in `frame`.
    static void paint(QPainter& painter, CupGlyph glyph, double pointSize, const QRectF& frame,
                      const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CupGlyph glyph_;
    double pointSize_;
};

} // namespace staywake
