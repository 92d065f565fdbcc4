#include "Staywake/Panel/PanelNote.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>

namespace staywake {

QLabel* styledLabel(TextStyle style, PanelColor color, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    alignLeading(*label, Qt::AlignTop);
    applyTextStyle(*label, style, color);
    return label;
}

PanelNote::PanelNote(PanelSymbol symbol, PanelColor color, const QString& text, QWidget* parent)
    : QWidget(parent), text_(styledLabel(TextStyle::footnote, color, text, this)) {
    const QFont base = QApplication::font();
    const QFont font = textFont(TextStyle::footnote, base);
    const QFontMetricsF metrics(font);
    auto* image = new PanelSymbolImage(symbol, scaledMetric(12, base), std::round(metrics.height() * 0.85), this);
    applyTextStyle(*image, TextStyle::footnote, color);
    image->setFixedHeight(qCeil(metrics.height()));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(image, 0, Qt::AlignTop);
    layout->addWidget(text_, 1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
}

PanelNote* PanelNote::failure(QWidget* parent) {
    return new PanelNote(PanelSymbol::warning, PanelColor::red, {}, parent);
}

QString PanelNote::text() const { return text_->text(); }

void PanelNote::setText(const QString& text) {
    if (text_->text() != text) {
        text_->setText(text);
    }
}

} // namespace staywake
