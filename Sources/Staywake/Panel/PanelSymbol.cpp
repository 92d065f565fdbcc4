#include "Staywake/Panel/PanelSymbol.h"

#include "Staywake/Icon/ThemedSymbol.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace staywake {

const char* themeIconName(PanelSymbol symbol) {
    switch (symbol) {
    case PanelSymbol::info:
        return "dialog-information";
    case PanelSymbol::heat:
        return "temperature-high";
    case PanelSymbol::warning:
        return "dialog-warning";
    case PanelSymbol::power:
        return "system-shutdown";
    }
    return "dialog-information";
}

void drawSymbol(QPainter& painter, PanelSymbol symbol, const QRectF& box, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = box.width();
    const double line = std::max(1.0, s / 11);
    QPen pen(color, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QPointF c = box.center();
    switch (symbol) {
    case PanelSymbol::info: {
        const double r = s / 2 - line / 2;
        painter.drawEllipse(c, r, r);
        painter.drawLine(QPointF(c.x(), c.y() - s * 0.05), QPointF(c.x(), c.y() + s * 0.25));
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(c.x(), c.y() - s * 0.22), line * 0.75, line * 0.75);
        break;
    }
    case PanelSymbol::heat: {
        // A thermometer: a stem with a bulb, filled high, and three scale marks.
        const double stemWidth = s * 0.26;
        const double bulbRadius = s * 0.2;
        const QPointF bulb(c.x() - s * 0.12, box.bottom() - bulbRadius - line / 2);
        QPainterPath outline;
        outline.addRoundedRect(
            QRectF(bulb.x() - stemWidth / 2, box.top() + line / 2, stemWidth, bulb.y() - box.top()), stemWidth / 2,
            stemWidth / 2);
        outline.addEllipse(bulb, bulbRadius, bulbRadius);
        painter.drawPath(outline.simplified());
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(bulb, bulbRadius - line * 1.2, bulbRadius - line * 1.2);
        painter.drawRect(QRectF(bulb.x() - line / 2, box.top() + s * 0.25, line, bulb.y() - box.top() - s * 0.25));
        painter.setPen(pen);
        for (int mark = 0; mark < 3; ++mark) {
            const double y = box.top() + s * (0.18 + 0.16 * mark);
            painter.drawLine(QPointF(c.x() + s * 0.12, y), QPointF(c.x() + s * 0.36, y));
        }
        break;
    }
    case PanelSymbol::warning: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        QPainterPath triangle;
        triangle.moveTo(c.x(), box.top() + s * 0.06);
        triangle.lineTo(box.right() - s * 0.02, box.bottom() - s * 0.08);
        triangle.lineTo(box.left() + s * 0.02, box.bottom() - s * 0.08);
        triangle.closeSubpath();
        QPainterPathStroker rounder;
        rounder.setWidth(line);
        rounder.setJoinStyle(Qt::RoundJoin);
        painter.drawPath(triangle.united(rounder.createStroke(triangle)));
        // The exclamation mark is cut out of the solid triangle.
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.drawRoundedRect(QRectF(c.x() - line / 2, box.top() + s * 0.36, line, s * 0.3), line / 2, line / 2);
        painter.drawEllipse(QPointF(c.x(), box.top() + s * 0.76), line * 0.6, line * 0.6);
        break;
    }
    case PanelSymbol::power: {
        const double r = s * 0.38;
        painter.drawArc(QRectF(c.x() - r, c.y() - r + s * 0.04, 2 * r, 2 * r), 50 * 16, -280 * 16);
        painter.drawLine(QPointF(c.x(), box.top() + s * 0.06), QPointF(c.x(), c.y()));
        break;
    }
    }
    painter.restore();
}

void paintSymbol(QPainter& painter, PanelSymbol symbol, const QRectF& frame, double size, const QColor& color) {
    paintThemedSymbol(painter, themeIconName(symbol), frame, size,
                      [&](const QRectF& box) { drawSymbol(painter, symbol, box, color); });
}

PanelSymbolImage::PanelSymbolImage(PanelSymbol symbol, double frameWidth, double size, QWidget* parent)
    : QWidget(parent), symbol_(symbol), frameWidth_(frameWidth), size_(size) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize PanelSymbolImage::sizeHint() const {
    return QSize(static_cast<int>(std::ceil(frameWidth_)), static_cast<int>(std::ceil(size_)));
}

void PanelSymbolImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSymbol(painter, symbol_, QRectF(rect()), size_, palette().color(foregroundRole()));
}

} // namespace staywake
