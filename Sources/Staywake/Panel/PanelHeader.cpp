#include "Staywake/Panel/PanelHeader.h"

#include "Staywake/Panel/CupGlyphImage.h"
#include "Staywake/Panel/TextStyle.h"
#include "Staywake/Translations/Localized.h"
#include "StaywakeCore/Icon/MenuBarIcon.h"
#include "StaywakeCore/Wording/CountdownText.h"
#include "StaywakeCore/Wording/SpokenStatus.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace staywake {

namespace {

constexpr int glyphGap = 10;
constexpr int lineGap = 1;
// Shown as it is, in every language.
const QString appName = QStringLiteral("Staywake");

// The header reads as one line of text, not as a container.
QAccessibleInterface* headerAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("staywake::PanelHeader") && object && object->isWidgetType()) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StaticText);
    }
    return nullptr;
}

} // namespace

PanelHeader::PanelHeader(std::shared_ptr<const AwakeController> controller,
                         std::shared_ptr<const LidAwakeController> lid, std::string locale, QWidget* parent)
    : QWidget(parent), controller_(std::move(controller)), lid_(std::move(lid)), locale_(std::move(locale)) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(headerAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    ticker_.setInterval(1000);
    ticker_.setTimerType(Qt::PreciseTimer);
    connect(&ticker_, &QTimer::timeout, this, &PanelHeader::refreshStatus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    refreshStatus();
}

double PanelHeader::glyphPointSize() const { return scaledMetric(17, QApplication::font()); }

double PanelHeader::glyphColumnWidth() const {
    double widest = 0;
    for (const auto vessel : {CupGlyph::Vessel::cup, CupGlyph::Vessel::doubleMug}) {
        widest = std::max(widest, CupGlyphImage::sizeOf(CupGlyph(vessel, true), glyphPointSize()).width());
    }
    return std::ceil(widest);
}

void PanelHeader::refreshStatus() {
    const bool isOn = controller_->isOn();
    const auto remaining = controller_->remaining();
    const QString status = localized(CountdownText::statusText(isOn, remaining, locale_));
    const CupGlyph glyph = MenuBarIcon::current(isOn, controller_->activeUntil(), lid_->isOn()).glyph();
    const QString spoken = localized(SpokenStatus::describing(isOn, remaining).accessibilityLabel(locale_));
    if (status != status_ || glyph != glyph_ || isOn != isOn_) {
        status_ = status;
        glyph_ = glyph;
        isOn_ = isOn;
        update();
    }
    if (spoken != accessibleName()) {
        setAccessibleName(spoken);
    }
}

QSize PanelHeader::sizeHint() const {
    const QFont base = QApplication::font();
    const QFontMetricsF name(textFont(TextStyle::headline, base));
    const QFontMetricsF status(textFont(TextStyle::subheadline, base));
    const double textHeight = name.height() + lineGap + status.height();
    const double glyphHeight =
        CupGlyphImage::sizeOf(CupGlyph(CupGlyph::Vessel::doubleMug, true), glyphPointSize()).height();
    return QSize(qRound(glyphColumnWidth() + glyphGap +
                        std::max(name.horizontalAdvance(appName), status.horizontalAdvance(status_))),
                 static_cast<int>(std::ceil(std::max(textHeight, glyphHeight))));
}

void PanelHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont base = QApplication::font();
    const QFont nameFont = textFont(TextStyle::headline, base);
    const QFont statusFont = textFont(TextStyle::subheadline, base);
    const QFontMetricsF name(nameFont);
    const QFontMetricsF status(statusFont);
    const double column = glyphColumnWidth();
    const bool rightToLeft = isRightToLeft();

    QRectF glyphFrame(rightToLeft ? width() - column : 0, 0, column, height());
    CupGlyphImage::paint(painter, glyph_, glyphPointSize(), glyphFrame,
                         panelColor(isOn_ ? PanelColor::accent : PanelColor::secondary, palette()));

    const double textHeight = name.height() + lineGap + status.height();
    const double top = std::round((height() - textHeight) / 2);
    const double textWidth = width() - column - glyphGap;
    const double textX = rightToLeft ? 0 : column + glyphGap;
    // The painter mirrors the alignment for right-to-left.
    const int alignment = Qt::AlignLeft | Qt::AlignVCenter;
    painter.setFont(nameFont);
    painter.setPen(panelColor(PanelColor::primary, palette()));
    painter.drawText(QRectF(textX, top, textWidth, name.height()), alignment, appName);
    painter.setFont(statusFont);
    painter.setPen(panelColor(isOn_ ? PanelColor::primary : PanelColor::secondary, palette()));
    painter.drawText(QRectF(textX, top + name.height() + lineGap, textWidth, status.height()), alignment, status_);
}

void PanelHeader::showEvent(QShowEvent* event) {
    refreshStatus();
    ticker_.start();
    QWidget::showEvent(event);
}

void PanelHeader::hideEvent(QHideEvent* event) {
    ticker_.stop();
    QWidget::hideEvent(event);
}

} // namespace staywake
