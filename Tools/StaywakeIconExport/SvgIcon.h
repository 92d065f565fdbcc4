#pragma once

#include "StaywakeCore/Icon/Drawing.h"

#include <string>

namespace staywake {

/// The application icon as a scalable SVG document: the tile and the glyph's drawing
/// written out as paths, so the scalable icon is the same geometry as the bitmaps.
std::string svgAppIcon(int side);

/// A path's outline as SVG path data (drawing space, y upwards).
std::string svgPathData(const PathData& path);

} // namespace staywake
