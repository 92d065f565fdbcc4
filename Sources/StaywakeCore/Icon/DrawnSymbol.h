#pragma once

#include "StaywakeCore/Icon/Drawing.h"
#include "StaywakeCore/Icon/PathData.h"

#include <optional>
#include <string_view>

namespace staywake {

/// The few symbols the glyphs are built from ("mug", "mug.fill", "clock.fill"), drawn in
/// code in the cup's style and line weight, since the desktop has no such symbols.
class DrawnSymbol {
public:
    /// The symbol of that name; nothing for a name this set does not draw.
    static std::optional<DrawnSymbol> named(std::string_view name);

    /// The symbol's image size at a text point size, in whole points (nothing drawn when
    /// either side is 0).
    PathSize size(double pointSize) const;

    /// The symbol filling `rect` (y upwards) at a device scale.
    Drawing drawing(PathRect rect, double deviceScale) const;

    friend bool operator==(const DrawnSymbol&, const DrawnSymbol&) = default;

private:
    enum class Kind { mug, filledMug, filledClock };
    explicit DrawnSymbol(Kind kind) : kind_(kind) {}

    Kind kind_;
};

} // namespace staywake
