#include "Staywake/Panel/PanelRowLabel.h"

#include "Staywake/Panel/CupGlyphImage.h"
#include "Staywake/Panel/TextStyle.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>

namespace staywake {

PanelRowLabel::PanelRowLabel(const QString& title, Icon icon, QWidget* parent)
    : QWidget(parent), title_(new QLabel(title, this)) {
    const QFont base = QApplication::font();
    const double iconWidth = scaledMetric(22, base);
    const double iconSize = scaledMetric(12, base);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    QWidget* iconView = nullptr;
    if (const auto* glyph = std::get_if<CupGlyph>(&icon)) {
        auto* image = new CupGlyphImage(*glyph, iconSize, this);
        image->setMinimumWidth(qRound(iconWidth));
        iconView = image;
    } else {
        iconView = new PanelSymbolImage(std::get<PanelSymbol>(icon), iconWidth, iconSize * 1.1, this);
    }
    layout->addWidget(iconView, 0, Qt::AlignVCenter);
    layout->addWidget(title_, 1, Qt::AlignVCenter);
    setFont(textFont(TextStyle::callout, base));
    alignLeading(*title_);
}

QString PanelRowLabel::title() const { return title_->text(); }

void PanelRowLabel::setTitle(const QString& title) { title_->setText(title); }

} // namespace staywake
