#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>

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

/// The symbol as an image `size` pixels square in a frame `frameWidth`
/// pixels wide, for a label; drawn for the application's pixel ratio.
QPixmap symbolPixmap(SettingsSymbol symbol, double frameWidth, double size, const QColor& color);

} // namespace staywake
