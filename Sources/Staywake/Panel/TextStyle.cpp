#include "Staywake/Panel/TextStyle.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QWidget>

namespace staywake {

namespace {

constexpr double defaultBodySize = 13;

struct StyleSize {
    double size;
    bool bold;
};

StyleSize sizeOf(TextStyle style) {
    switch (style) {
    case TextStyle::body:
        return {13, false};
    case TextStyle::headline:
        return {13, true};
    case TextStyle::subheadline:
        return {11, false};
    case TextStyle::callout:
        return {12, false};
    case TextStyle::footnote:
        return {10, false};
    case TextStyle::title2:
        return {17, false};
    case TextStyle::caption2:
        return {10, false};
    case TextStyle::largeTitle:
        return {26, false};
    }
    return {13, false};
}

} // namespace

QFont textFont(TextStyle style, const QFont& base) {
    const StyleSize size = sizeOf(style);
    QFont font = base;
    const double factor = size.size / defaultBodySize;
    if (base.pointSizeF() > 0) {
        font.setPointSizeF(base.pointSizeF() * factor);
    } else {
        font.setPixelSize(std::max(1, qRound(base.pixelSize() * factor)));
    }
    if (size.bold) {
        font.setWeight(QFont::Bold);
    }
    return font;
}

double scaledMetric(double length, const QFont& base) {
    return length * QFontInfo(base).pixelSize() / defaultBodySize;
}

QColor panelColor(PanelColor color, const QPalette& palette) {
    switch (color) {
    case PanelColor::accent:
        return palette.color(QPalette::Highlight);
    case PanelColor::primary:
        return palette.color(QPalette::WindowText);
    case PanelColor::secondary:
        return palette.color(QPalette::PlaceholderText);
    case PanelColor::red:
        // A mid red: 4.5:1 against white and still 3:1 against the usual dark
        // window colours, so one red serves both themes.
        return QColor(0xE0, 0x2E, 0x2E);
    }
    return palette.color(QPalette::WindowText);
}

void applyTextStyle(QWidget& widget, TextStyle style, PanelColor color) {
    widget.setFont(textFont(style, QApplication::font()));
    QPalette palette = widget.palette();
    const QColor text = panelColor(color, palette);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Text, text);
    widget.setPalette(palette);
}

} // namespace staywake

namespace staywake {

void alignLeading(QLabel& label, Qt::Alignment vertical) {
    label.setAlignment((label.isRightToLeft() ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute | vertical);
}

} // namespace staywake
