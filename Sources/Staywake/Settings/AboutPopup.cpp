#include "Staywake/Settings/AboutPopup.h"

#include "Staywake/Panel/CupGlyphImage.h"
#include "Staywake/Panel/TextStyle.h"
#include "Staywake/Translations/Localized.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace staywake {

AboutPopup::AboutPopup(const std::optional<AboutInfo>& info, QWidget* parent) : QWidget(parent) {
    setFixedWidth(220);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(6);

    auto* cup =
        new CupGlyphImage(CupGlyph(CupGlyph::Vessel::cup, true), scaledMetric(26, QApplication::font()), this);
    QPalette accent = cup->palette();
    accent.setColor(QPalette::WindowText, panelColor(PanelColor::accent, palette()));
    cup->setPalette(accent);
    cup->setAccessibleName(QString());
    layout->addWidget(cup, 0, Qt::AlignHCenter);

    auto* name = new QLabel(QStringLiteral("Staywake"), this);
    applyTextStyle(*name, TextStyle::headline, PanelColor::primary);
    name->setAlignment(Qt::AlignHCenter);
    layout->addWidget(name);

    if (info) {
        versionLine_ =
            new QLabel(localized(LocalizableText::localizable("Version %1", {info->formattedVersion()})), this);
        applyTextStyle(*versionLine_, TextStyle::subheadline, PanelColor::secondary);
        versionLine_->setAlignment(Qt::AlignHCenter);
        layout->addWidget(versionLine_);
    }
}

} // namespace staywake
