#include "Staywake/Settings/StarToggleStyle.h"

#include "Staywake/Panel/TextStyle.h"
#include "Staywake/Settings/SettingsSymbol.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <cmath>

namespace staywake {

namespace {

constexpr double starColumn = 16;
constexpr double spacing = 6;

} // namespace

StarToggleStyle::StarToggleStyle(const QString& label, QWidget* parent) : QAbstractButton(parent) {
    setText(label);
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFont(textFont(TextStyle::body, QApplication::font()));
}

QSize StarToggleStyle::sizeHint() const {
    const QFontMetrics metrics(font());
    const double column = scaledMetric(starColumn, QApplication::font());
    const int width = static_cast<int>(std::ceil(column + scaledMetric(spacing, QApplication::font()))) +
                      metrics.horizontalAdvance(text());
    return QSize(width, std::max(metrics.height(), static_cast<int>(std::ceil(column))) + 4);
}

void StarToggleStyle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFont base = QApplication::font();
    const double column = scaledMetric(starColumn, base);
    const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
    const QRectF starFrame(rightToLeft ? width() - column : 0, 0, column, height());
    // The yellow is the star's own colour; it stays readable on dark and light themes.
    const QColor starColor = isChecked() ? QColor(0xF5, 0xB8, 0x00) : panelColor(PanelColor::secondary, palette());
    painter.setOpacity(isEnabled() ? 1.0 : 0.45);
    paintSymbol(painter, isChecked() ? SettingsSymbol::filledStar : SettingsSymbol::star, starFrame, column * 0.8,
                starColor);

    const double textStart = column + scaledMetric(spacing, base);
    const QRectF textFrame(rightToLeft ? 0 : textStart, 0, width() - textStart, height());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(textFrame, Qt::AlignVCenter | (rightToLeft ? Qt::AlignRight : Qt::AlignLeft), text());

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

} // namespace staywake
