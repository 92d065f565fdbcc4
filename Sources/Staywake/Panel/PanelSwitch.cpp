#include "Staywake/Panel/PanelSwitch.h"

#include "Staywake/Panel/TextStyle.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace staywake {

namespace {

// The small control size.
constexpr double trackWidth = 28;
constexpr double trackHeight = 16;
constexpr double trackGap = 8;

} // namespace

PanelSwitch::PanelSwitch(const QString& title, PanelRowLabel::Icon icon, QWidget* parent)
    : QAbstractButton(parent), label_(new PanelRowLabel(title, icon, this)) {
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setText(title);
    setAccessibleName(title);
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(label_, 1);
    keepTrackClear();
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize PanelSwitch::sizeHint() const {
    const QSize labelSize = label_->sizeHint();
    return QSize(labelSize.width() + static_cast<int>(trackWidth + trackGap),
                 std::max(labelSize.height(), static_cast<int>(trackHeight) + 4));
}

void PanelSwitch::keepTrackClear() {
    // Layout margins are not mirrored: the track's side is chosen here.
    const int track = static_cast<int>(trackWidth + trackGap);
    layout()->setContentsMargins(isRightToLeft() ? track : 0, 0, isRightToLeft() ? 0 : track, 0);
}

void PanelSwitch::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LayoutDirectionChange) {
        keepTrackClear();
    }
    QAbstractButton::changeEvent(event);
}

bool PanelSwitch::hitButton(const QPoint& position) const { return rect().contains(position); }

QRectF PanelSwitch::trackRect() const {
    const double x = isRightToLeft() ? 0.5 : width() - trackWidth - 0.5;
    return QRectF(x, (height() - trackHeight) / 2, trackWidth, trackHeight);
}

void PanelSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = trackRect();
    const bool on = isChecked();
    QColor fill = on ? panelColor(PanelColor::accent, palette()) : palette().color(QPalette::Mid);
    if (!isEnabled()) {
        fill.setAlphaF(0.4);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, trackHeight / 2, trackHeight / 2);
    const double knob = trackHeight - 4;
    // The knob sits at the trailing end while on, mirrored for right-to-left.
    const bool knobAtRight = on != isRightToLeft();
    const double knobX = knobAtRight ? track.right() - 2 - knob : track.left() + 2;
    QColor knobColor = Qt::white;
    if (!isEnabled()) {
        knobColor.setAlphaF(0.7);
    }
    painter.setBrush(knobColor);
    painter.drawEllipse(QRectF(knobX, track.top() + 2, knob, knob));
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = track.toAlignedRect().adjusted(-2, -2, 2, 2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

} // namespace staywake
