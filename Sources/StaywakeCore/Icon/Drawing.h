#pragma once

#include "StaywakeCore/Icon/PathData.h"

#include <variant>
#include <vector>

namespace staywake {

/// What a glyph draws, in order, in black ink: fills, strokes and clipped groups, in drawing
/// space (y upwards, points). A renderer plays it back; tests read it.
struct Drawing {
    enum class FillRule { nonZero, evenOdd };

    struct Fill {
        PathData path;
        FillRule rule = FillRule::nonZero;
        friend bool operator==(const Fill&, const Fill&) = default;
    };
    /// A stroke with butt ends and mitred joins.
    struct Stroke {
        PathData path;
        double lineWidth = 0;
        friend bool operator==(const Stroke&, const Stroke&) = default;
    };
    /// Saves the state and narrows the clip to `path` until the matching `EndClip`.
    struct BeginClip {
        PathData path;
        FillRule rule = FillRule::nonZero;
        friend bool operator==(const BeginClip&, const BeginClip&) = default;
    };
    struct EndClip {
        friend bool operator==(const EndClip&, const EndClip&) = default;
    };
    using Operation = std::variant<Fill, Stroke, BeginClip, EndClip>;

    std::vector<Operation> operations;

    friend bool operator==(const Drawing&, const Drawing&) = default;
};

} // namespace staywake
