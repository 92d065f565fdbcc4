#include "Staywake/Settings/SettingsSymbol.h"

#include "Staywake/Icon/ThemedSymbol.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace staywake {

namespace {

QPainterPath starPath(const QRectF& box) {
    const QPointF centre = box.center();
    const double outer = box.width() / 2;
    const double inner = outer * 0.45;
    QPainterPath path;
    for (int point = 0; point < 10; ++point) {
        const double radius = point % 2 == 0 ? outer : inner;
        const double angle = -std::numbers::pi / 2 + point * std::numbers::pi / 5;
        const QPointF corner(centre.x() + radius * std::cos(angle),
                             centre.y() + outer * 0.1 + radius * std::sin(angle));
        if (point == 0) {
            path.moveTo(corner);
        } else {
            path.lineTo(corner);
        }
    }
    path.closeSubpath();
    return path;
}

void drawSymbol(QPainter& painter, SettingsSymbol symbol, const QRectF& box, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = box.width();
    const double line = std::max(1.0, s / 11);
    const QPen pen(color, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QPointF c = box.center();
    switch (symbol) {
    case SettingsSymbol::gear: {
        // Eight teeth around a ring with a hole.
        QPainterPath teeth;
        const double toothWidth = s * 0.16;
        for (int tooth = 0; tooth < 8; ++tooth) {
            QPainterPath one;
            one.addRoundedRect(QRectF(-toothWidth / 2, -s / 2 + line / 2, toothWidth, s * 0.3), line / 2,
                               line / 2);
            teeth.addPath(QTransform().translate(c.x(), c.y()).rotate(tooth * 45).map(one));
        }
        QPainterPath body;
        body.addEllipse(c, s * 0.36, s * 0.36);
        QPainterPath hole;
        hole.addEllipse(c, s * 0.14, s * 0.14);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(teeth.united(body).subtracted(hole));
        break;
    }
    case SettingsSymbol::chevronDown:
        painter.drawPolyline(QPolygonF{QPointF(box.left() + s * 0.2, c.y() - s * 0.15),
                                       QPointF(c.x(), c.y() + s * 0.15),
                                       QPointF(box.right() - s * 0.2, c.y() - s * 0.15)});
        break;
    case SettingsSymbol::star:
        painter.drawPath(starPath(box.adjusted(line / 2, line / 2, -line / 2, -line / 2)));
        break;
    case SettingsSymbol::filledStar:
        painter.setBrush(color);
        painter.drawPath(starPath(box.adjusted(line / 2, line / 2, -line / 2, -line / 2)));
        break;
    }
    painter.restore();
}

} // namespace

const char* themeIconName(SettingsSymbol symbol) {
    switch (symbol) {
    case SettingsSymbol::gear:
        return "configure";
    case SettingsSymbol::chevronDown:
        return "pan-down";
    case SettingsSymbol::star:
        return "non-starred";
    case SettingsSymbol::filledStar:
        return "starred";
    }
    return "configure";
}

void paintSymbol(QPainter& painter, SettingsSymbol symbol, const QRectF& frame, double size, const QColor& color) {
    paintThemedSymbol(painter, themeIconName(symbol), frame, size,
                      [&](const QRectF& box) { drawSymbol(painter, symbol, box, color); });
}

QPixmap symbolPixmap(SettingsSymbol symbol, double frameWidth, double size, const QColor& color) {
    const double ratio = qApp->devicePixelRatio();
    QPixmap pixmap(QSizeF(frameWidth * ratio, size * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintSymbol(painter, symbol, QRectF(0, 0, frameWidth, size), size, color);
    return pixmap;
}

} // namespace staywake
