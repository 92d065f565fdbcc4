#include "StaywakeCore/Icon/MugPair.h"

#include <cmath>
#include <numbers>

namespace staywake::MugPair {

std::optional<double> mugPointSize(double pointSize, double baseHeight,
                                   const std::function<double(double)>& heightAt) {
    const double target = baseHeight - std::round(0.12 * baseHeight);
    // Counting steps keeps the sizes exact halves rather than accumulated sums.
    for (int step = 0;; ++step) {
        const double size = pointSize - 0.5 * step;
        if (size < 1) {
            return std::nullopt;
        }
        if (heightAt(size) <= target) {
            return size;
        }
    }
}

Layout layout(PathSize mug, double baseHeight) {
    const double frontX = std::round(0.45 * mug.width);
    return Layout{PathSize{frontX + mug.width, baseHeight}, PathPoint{0, 0},
                  PathPoint{frontX, baseHeight - mug.height}};
}

std::vector<PathPoint> knockout(double mugHeight, double gapWidth) {
    std::vector<PathPoint> offsets = dilation(gapWidth);
    for (const double depth : {0.5, 0.75, 1.0}) {
        offsets.push_back(PathPoint{-gapWidth, -depth * mugHeight});
    }
    return offsets;
}

std::vector<PathPoint> dilation(double gapWidth) {
    std::vector<PathPoint> offsets{PathPoint{0, 0}};
    if (gapWidth > 0) {
        for (int k = 0; k < 12; ++k) {
            const double angle = 2 * std::numbers::pi * k / 12;
            offsets.push_back(PathPoint{gapWidth * std::cos(angle), gapWidth * std::sin(angle)});
        }
    }
    return offsets;
}

double gap(bool filled, double deviceScale) { return filled ? 1 / (deviceScale > 0 ? deviceScale : 1) : 0; }

} // namespace staywake::MugPair
