#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QWidget>

class QPainter;

namespace staywake {

/// The symbols the panel shows beside its notes and rows: the desktop icon
/// theme's icon, or our own drawing where the theme has none.
enum class PanelSymbol {
    /// Beside a plain note (dialog-information).
    info,
    /// Beside the heat note (temperature-high).
    heat,
    /// Beside a failure (dialog-warning).
    warning,
    /// Beside "Open at Login" (system-shutdown).
    power,
};

/// The freedesktop icon name of a symbol.
const char* themeIconName(PanelSymbol symbol);

/// Paints `symbol` centred in `frame`, `size` pixels square: the theme's icon
/// when it has one, else our drawing in `color`.
void paintSymbol(QPainter& painter, PanelSymbol symbol, const QRectF& frame, double size, const QColor& color);

/// Our drawing of a symbol, in `color`, filling the square `box`.
void drawSymbol(QPainter& painter, PanelSymbol symbol, const QRectF& box, const QColor& color);

/// A symbol framed to a fixed width, centred, in the widget's text colour.
class PanelSymbolImage final : public QWidget {
    Q_OBJECT

public:
    PanelSymbolImage(PanelSymbol symbol, double frameWidth, double size, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PanelSymbol symbol_;
    double frameWidth_;
    double size_;
};

} // namespace staywake
