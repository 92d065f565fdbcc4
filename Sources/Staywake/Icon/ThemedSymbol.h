#pragma once

#include <QRectF>
#include <functional>

class QPainter;

namespace staywake {

/// Paints a symbol `size` pixels square, centred in `frame`: the desktop icon
/// theme's icon named `themeIconName` when the theme has one, else our own
/// drawing, which `drawn` paints into the square it is given.
void paintThemedSymbol(QPainter& painter, const char* themeIconName, const QRectF& frame, double size,
                       const std::function<void(const QRectF& box)>& drawn);

} // namespace staywake
