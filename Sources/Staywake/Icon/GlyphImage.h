#pragma once

#include "Staywake/Icon/TemplateImage.h"
#include "StaywakeCore/Icon/CupGlyph.h"

#include <optional>
#include <string_view>

namespace staywake {

/// A symbol ("mug", "mug.fill", "clock.fill") as an image at a text point size; nothing when
/// there is no symbol of that name.
std::optional<TemplateImage> symbolImage(std::string_view name, double pointSize);

/// The glyph at a text point size: the cup on the laptop 0.96 x `pointSize` high, or the mug
/// pair. Empty when that is nothing.
TemplateImage image(const CupGlyph& glyph, double pointSize);

/// The cup on the laptop, `height` points high and as wide as its aspect asks.
TemplateImage cupOnLaptopImage(double height, bool filled);

/// Two mugs, the front one raised and smaller, cut into the back one, at a point size.
TemplateImage mugPairImage(double pointSize, bool filled);

} // namespace staywake
