#pragma once

#include "Staywake/Icon/TemplateImage.h"

#include <optional>
#include <string_view>

namespace staywake {

/// A symbol ("mug", "mug.fill", "clock.fill") as an image at a text point size; nothing when
/// there is no symbol of that name.
std::optional<TemplateImage> symbolImage(std::string_view name, double pointSize);

} // namespace staywake
