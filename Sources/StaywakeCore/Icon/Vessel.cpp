#include "StaywakeCore/Icon/Vessel.h"

namespace staywake {

void Vessel::appendTo(Drawing& drawing, bool filled) const {
    if (filled) {
        drawing.operations.emplace_back(Drawing::Fill{outerBody, Drawing::FillRule::nonZero});
        if (handle) {
            drawing.operations.emplace_back(Drawing::Stroke{*handle, lineWidth});
        }
        return;
    }
    drawing.operations.emplace_back(Drawing::Stroke{insetBody, lineWidth});
    if (handle) {
        // Even-odd over a rectangle that holds everything plus the body leaves exactly the
        // outside of the body: the handle's inner half never shows inside the vessel.
        PathData outsideBody;
        const PathRect clip = bounds.grownBy(lineWidth);
        outsideBody.moveTo({clip.minX(), clip.minY()});
        outsideBody.lineTo({clip.maxX(), clip.minY()});
        outsideBody.lineTo({clip.maxX(), clip.maxY()});
        outsideBody.lineTo({clip.minX(), clip.maxY()});
        outsideBody.closeSubpath();
        outsideBody.append(outerBody);
        drawing.operations.emplace_back(Drawing::BeginClip{outsideBody, Drawing::FillRule::evenOdd});
        drawing.operations.emplace_back(Drawing::Stroke{*handle, lineWidth});
        drawing.operations.emplace_back(Drawing::EndClip{});
    }
}

} // namespace staywake
