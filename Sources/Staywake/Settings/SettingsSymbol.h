#pragma once

#include <QColor>
#include <QRectF>
#include <QWidget>

class QPainter;

namespace staywake {

/// The symbols of the settings row and the preset stars: the desktop icon
/// theme's icon, or our own drawing where the theme has none.
enum class SettingsSymbol {
    gear,
    chevronDown,
    star,
    filledStar,
};

/// The freedesktop icon name of a symbol.
const char* themeIconName(SettingsSymbol symbol);

/// Paints `symbol` `size` pixels square, centred in `frame`: the theme's icon
/// when it has one (themes colour their stars themselves), else our drawing
/// in `color`.
void paintSymbol(QPainter& painter, SettingsSymbol symbol, const QRectF& frame, double size, const QColor& color);

/// A symbol centred in a fixed-width frame, in the widget's text colour.
class SettingsSymbolImage final : public QWidget {
public:
    SettingsSymbolImage(SettingsSymbol symbol, double frameWidth, double size, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SettingsSymbol symbol_;
    double frameWidth_;
    double size_;
};

} // namespace staywake
