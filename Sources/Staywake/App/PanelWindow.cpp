#include "Staywake/App/PanelWindow.h"

#include "Staywake/App/AppLog.h"
#include "Staywake/App/PanelPlacement.h"
#include <QCoreApplication>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace staywake {

namespace {

/// A click on the tray icon while the popup is open first reaches the popup,
/// which closes on it, and then the icon: a click this soon after closing is
/// that same click, not a request to open again.
constexpr qint64 closingClickMilliseconds = 300;

} // namespace

PanelWindow::PanelWindow(QWidget* panel, Kind kind, QWidget* parent)
    : QWidget(parent, kind == Kind::popup ? Qt::Popup | Qt::FramelessWindowHint : Qt::Window), kind_(kind) {
    setWindowTitle(QCoreApplication::translate("Localizable", "Staywake"));
    setObjectName(QStringLiteral("StaywakePanelWindow"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The window takes the panel's own size, and follows it as it changes.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(panel);
}

void PanelWindow::toggle(QRect icon, QPoint cursor) {
    if (isVisible() && kind_ == Kind::popup) {
        hide();
        return;
    }
    if (kind_ == Kind::popup && sinceHidden_.isValid() && sinceHidden_.elapsed() < closingClickMilliseconds) {
        return;
    }
    open(icon, cursor);
}

void PanelWindow::open(QRect icon, QPoint cursor) {
    anchorIcon_ = icon;
    anchorCursor_ = cursor;
    if (kind_ == Kind::popup) {
        adjustSize();
        place();
    }
    show();
    raise();
    activateWindow();
}

void PanelWindow::place() {
    const QPoint probe = anchorIcon_.isEmpty() ? anchorCursor_ : anchorIcon_.center();
    QScreen* screen = QGuiApplication::screenAt(probe);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    move(panelPosition(size(), anchorIcon_, anchorCursor_, screen->geometry(), screen->availableGeometry()));
}

void PanelWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    qCInfo(appLog) << "panel opened at" << geometry();
}

void PanelWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    sinceHidden_.start();
    qCInfo(appLog) << "panel closed";
}

void PanelWindow::closeEvent(QCloseEvent* event) {
    if (kind_ == Kind::window) {
        // The one way out without a tray. The app never closes this window
        // itself, so whoever closes it is the user; the window stays until
        // the app has really ended.
        event->ignore();
        emit userClosed();
        return;
    }
    QWidget::closeEvent(event);
}

void PanelWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (kind_ == Kind::popup && isVisible()) {
        place();
    }
}

} // namespace staywake
