#pragma once

#include "StaywakeCore/Icon/PathPoint.h"
#include "StaywakeCore/Icon/PathSize.h"

namespace staywake {

/// A rectangle in drawing space, y upwards: (x, y) is its bottom-left corner.
struct PathRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    constexpr double minX() const { return x; }
    constexpr double maxX() const { return x + width; }
    constexpr double minY() const { return y; }
    constexpr double maxY() const { return y + height; }
    constexpr PathSize size() const { return PathSize{width, height}; }

    /// The rectangle grown by `amount` on every side (shrunk when negative).
    constexpr PathRect grownBy(double amount) const {
        return PathRect{x - amount, y - amount, width + 2 * amount, height + 2 * amount};
    }

    constexpr bool contains(PathPoint point) const {
        return point.x >= minX() && point.x <= maxX() && point.y >= minY() && point.y <= maxY();
    }

    friend constexpr bool operator==(PathRect, PathRect) = default;
};

} // namespace staywake
