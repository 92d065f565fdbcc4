#pragma once

namespace staywake {

/// A point in drawing space, y upwards.
struct PathPoint {
    double x = 0;
    double y = 0;

    friend constexpr bool operator==(PathPoint, PathPoint) = default;
};

} // namespace staywake
