#pragma once

#include "StaywakeCore/Icon/PathData.h"

#include <functional>
#include <optional>
#include <vector>

namespace staywake::MugPair {

/// Where the two mugs go on the pair's canvas, y upwards: the back mug at the bottom left,
/// the front one at the top, overlapping it by a little over half.
struct Layout {
    PathSize canvas;
    PathPoint back;
    PathPoint front;
    friend constexpr bool operator==(const Layout&, const Layout&) = default;
};

/// The point size at which a mug stands clearly lower than the pair's full height
/// `baseHeight`: from `pointSize` down in steps of 0.5 (not below 1), the first whose image,
/// as `heightAt` gives it, is at most `baseHeight` - round(0.12 x `baseHeight`). Nothing when
/// none is.
std::optional<double> mugPointSize(double pointSize, double baseHeight,
                                   const std::function<double(double)>& heightAt);

/// The canvas for two mugs of `mug` size on a pair `baseHeight` high.
Layout layout(PathSize mug, double baseHeight);

/// The offsets at which the filled mug is stamped out of the back mug: the front mug grown
/// by `gap`, then swept down its own height, so the back mug is cleared under and around it.
std::vector<PathPoint> knockout(double mugHeight, double gap);

/// The origin and, when `gap` > 0, 12 points on a circle of radius `gap`.
std::vector<PathPoint> dilation(double gap);

/// The gap kept around the front mug: one device pixel when filled, none when outlined.
double gap(bool filled, double deviceScale);

} // namespace staywake::MugPair
