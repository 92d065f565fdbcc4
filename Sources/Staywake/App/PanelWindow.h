#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace staywake {

/// The window the panel lives in.
/// - Beside a tray: a frameless popup, opened next to the tray icon (see
///   panelPosition) and kept there as the panel's height changes; a click
///   outside, a second click on the icon or Escape closes it.
/// - Without a tray: an ordinary window titled "Staywake"; closing it is the
///   user asking to quit (userClosed()).
class PanelWindow final : public QWidget {
    Q_OBJECT

public:
    enum class Kind { popup, window };

    /// Takes `panel` into the window.
    PanelWindow(QWidget* panel, Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }

    /// The tray icon was clicked: opens the popup next to `icon` (or at
    /// `cursor` when the host gives no geometry), or closes it when open.
    void toggle(QRect icon, QPoint cursor);
    /// Opens (or raises) the panel next to `icon` or at `cursor`.
    void open(QRect icon, QPoint cursor);

signals:
    void userClosed();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();

    Kind kind_;
    QRect anchorIcon_;
    QPoint anchorCursor_;
    QElapsedTimer sinceHidden_;
};

} // namespace staywake
