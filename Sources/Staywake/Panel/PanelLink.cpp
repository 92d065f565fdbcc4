#include "Staywake/Panel/PanelLink.h"

#include "Staywake/Panel/TextStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace staywake {

namespace {

constexpr int textFlags = Qt::TextWordWrap;
// Wider than the panel: a title is measured unwrapped first.
constexpr int unwrappedWidth = 10000;

} // namespace

PanelLink::PanelLink(const QString& title, QWidget* parent) : QAbstractButton(parent) {
    setText(title);
    setFont(textFont(TextStyle::footnote, QApplication::font()));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    QSizePolicy policy(QSizePolicy::Maximum, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QRect PanelLink::textBounds(int width) const {
    return fontMetrics().boundingRect(QRect(0, 0, width, unwrappedWidth), textFlags, text());
}

QSize PanelLink::sizeHint() const {
    const QRect bounds = textBounds(unwrappedWidth);
    return QSize(bounds.width() + 2, bounds.height());
}

QSize PanelLink::minimumSizeHint() const {
    return QSize(fontMetrics().averageCharWidth() * 4, fontMetrics().height());
}

int PanelLink::heightForWidth(int width) const { return textBounds(std::max(1, width - 2)).height(); }

bool PanelLink::event(QEvent* event) {
    if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave) {
        update();
    }
    return QAbstractButton::event(event);
}

void PanelLink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QFont font = painter.font();
    font.setUnderline(underMouse() && isEnabled());
    painter.setFont(font);
    QColor color = panelColor(PanelColor::accent, palette());
    if (isDown()) {
        color = color.darker(130);
    }
    painter.setPen(isEnabled() ? color : palette().color(QPalette::Disabled, QPalette::WindowText));
    const QRect area = rect().adjusted(1, 0, -1, 0);
    painter.drawText(area,
                     textFlags | int(QStyle::visualAlignment(layoutDirection(), Qt::AlignLeading | Qt::AlignTop)),
                     text());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

} // namespace staywake
