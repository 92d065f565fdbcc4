#include "Staywake/Settings/Popover.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace staywake {

Popover::Placement Popover::place(const QRect& anchor, const QSize& size, const QRect& available) {
    Placement placement;
    const int below = anchor.y() + anchor.height();
    placement.arrowAtTop =
        below + size.height() <= available.y() + available.height() || anchor.y() - size.height() < available.y();
    const int y = placement.arrowAtTop ? below : anchor.y() - size.height();
    const int centre = anchor.x() + anchor.width() / 2;
    const int maxX = std::max(available.x(), available.x() + available.width() - size.width());
    const int x = std::clamp(centre - size.width() / 2, available.x(), maxX);
    placement.frame = QRect(QPoint(x, y), size);
    placement.arrowX = std::clamp(centre - x, arrowHalfWidth + 4,
                                  std::max(arrowHalfWidth + 4, size.width() - arrowHalfWidth - 4));
    return placement;
}

Popover::Popover(QWidget* content, QWidget* anchor)
    : QWidget(anchor, Qt::Popup | Qt::FramelessWindowHint), anchor_(anchor) {
    setAttribute(Qt::WA_DeleteOnClose);
    setLayoutDirection(anchor->layoutDirection());
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content);
}

void Popover::popUp() {
    layout()->activate();
    const bool anchored = anchor_->isVisible();
    const QRect anchor =
        anchored ? QRect(anchor_->mapToGlobal(QPoint(0, 0)), anchor_->size()) : QRect(QCursor::pos(), QSize(1, 1));
    const QScreen* screen =
        anchored && anchor_->screen() ? anchor_->screen() : QGuiApplication::screenAt(anchor.center());
    const QRect available = screen ? screen->availableGeometry() : QRect(anchor.center(), QSize(1, 1));
    // The arrow side grows the popover; the other sides keep a one-pixel border.
    auto* box = static_cast<QVBoxLayout*>(layout());
    const auto margins = [&](bool arrowAtTop) {
        box->setContentsMargins(1, arrowAtTop ? arrowHeight + 1 : 1, 1, arrowAtTop ? 1 : arrowHeight + 1);
        box->activate();
        return sizeHint();
    };
    auto placement = place(anchor, margins(true), available);
    if (!placement.arrowAtTop) {
        placement = place(anchor, margins(false), available);
    }
    arrowAtTop_ = placement.arrowAtTop;
    arrowX_ = placement.arrowX;
    setGeometry(placement.frame);
    setMask(QRegion(outline()));
    show();
}

QPolygon Popover::outline() const {
    const int w = width();
    const int h = height();
    const int top = arrowAtTop_ ? arrowHeight : 0;
    const int bottom = arrowAtTop_ ? h : h - arrowHeight;
    QPolygon shape;
    shape << QPoint(0, top);
    if (arrowAtTop_) {
        shape << QPoint(arrowX_ - arrowHalfWidth, top) << QPoint(arrowX_, 0)
              << QPoint(arrowX_ + arrowHalfWidth, top);
    }
    shape << QPoint(w, top) << QPoint(w, bottom);
    if (!arrowAtTop_) {
        shape << QPoint(arrowX_ + arrowHalfWidth, bottom) << QPoint(arrowX_, h)
              << QPoint(arrowX_ - arrowHalfWidth, bottom);
    }
    shape << QPoint(0, bottom);
    return shape;
}

void Popover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.setBrush(palette().color(QPalette::Window));
    QPolygonF border(outline());
    // The mask cuts at the outline's pixels; the border runs half a pixel inside it.
    const QPointF centre = QRectF(rect()).center();
    for (QPointF& point : border) {
        point += QPointF(point.x() < centre.x() ? 0.5 : -0.5, point.y() < centre.y() ? 0.5 : -0.5);
    }
    painter.drawPolygon(border);
}

} // namespace staywake
