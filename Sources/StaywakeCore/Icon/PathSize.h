#pragma once

namespace staywake {

/// A width and height in points.
struct PathSize {
    double width = 0;
    double height = 0;

    friend constexpr bool operator==(PathSize, PathSize) = default;
};

} // namespace staywake
