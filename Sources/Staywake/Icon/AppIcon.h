#pragma once

#include "StaywakeCore/Icon/Drawing.h"
#include "StaywakeCore/Icon/PathData.h"

#include <QColor>
#include <QIcon>
#include <QImage>

namespace staywake::AppIcon {

/// The application's own icon (desktop entry, windows): the solid cup on the laptop in white
/// on a rounded coffee-coloured tile. Square, drawn for any size in pixels.

/// The sizes the icon theme gets, in pixels.
inline constexpr int themeSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

/// The tile's corner radius as a share of its side.
inline constexpr double cornerShare = 0.22;
/// The tile's colours, top to bottom.
inline const QColor tileTop{0x9a, 0x65, 0x41};
inline const QColor tileBottom{0x5e, 0x3a, 0x22};

/// Where the glyph sits on a tile `pixels` wide, y upwards, whole pixels.
PathRect glyphRect(int pixels);

/// The glyph drawn on a tile `pixels` wide (black ink; painted white on the tile).
Drawing glyph(int pixels);

/// The icon at `pixels` x `pixels`.
QImage image(int pixels);

/// Every theme size in one icon.
QIcon icon();

} // namespace staywake::AppIcon
