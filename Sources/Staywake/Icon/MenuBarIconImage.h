#pragma once

#include "Staywake/Icon/TemplateImage.h"
#include "StaywakeCore/Icon/MenuBarIcon.h"

#include <Qt>

namespace staywake {

/// The menu-bar image: the cup on the laptop (14 points high) or the mug pair (at 15
/// points), with the clock badge at the trailing edge while a timer runs. A right-to-left
/// layout puts the badge on the left and the cup on the right.
TemplateImage image(const MenuBarIcon& icon, Qt::LayoutDirection layoutDirection);

} // namespace staywake
