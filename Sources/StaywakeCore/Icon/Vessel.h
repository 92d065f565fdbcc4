#pragma once

#include "StaywakeCore/Icon/Drawing.h"

#include <optional>

namespace staywake {

/// A drinking vessel in the glyphs' common style: a body and, optionally, a handle, drawn in
/// one line weight. Outlined, the body is stroked inside its outline and the handle is
/// clipped away from the body so that nothing shows inside the vessel; solid, the body is
/// filled and the handle stroked over it.
struct Vessel {
    PathData outerBody;
    PathData insetBody; ///< the body inset by half a line width, for the outlined stroke
    std::optional<PathData> handle;
    PathRect bounds; ///< the drawing's rectangle; the handle's clip extends a line width past it
    double lineWidth = 0;

    void appendTo(Drawing& drawing, bool filled) const;
};

} // namespace staywake
