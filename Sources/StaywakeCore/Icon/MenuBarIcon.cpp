#include "StaywakeCore/Icon/MenuBarIcon.h"

#include "StaywakeCore/Icon/CupOnLaptop.h"

#include <cmath>

namespace staywake {

MenuBarIcon MenuBarIcon::current(bool isOn, std::optional<Date> activeUntil, bool lidClosed) {
    if (!isOn) {
        return MenuBarIcon{};
    }
    return MenuBarIcon{true, activeUntil.has_value(), lidClosed};
}

CupGlyph MenuBarIcon::glyph() const {
    return CupGlyph(keepsLidClosedAwake ? CupGlyph::Vessel::doubleMug : CupGlyph::Vessel::cup, isOn);
}

MenuBarIcon::SpokenLabel MenuBarIcon::spokenLabel() const {
    if (!isOn) {
        return SpokenLabel::off;
    }
    if (keepsLidClosedAwake) {
        return showsTimerBadge ? SpokenLabel::onWithLidClosedAndTimerRunning : SpokenLabel::onWithLidClosed;
    }
    return showsTimerBadge ? SpokenLabel::onWithTimerRunning : SpokenLabel::on;
}

MenuBarIcon::LocalizedText MenuBarIcon::text(SpokenLabel label) {
    switch (label) {
    case SpokenLabel::off:
        return {"Localizable", "Staywake: off"};
    case SpokenLabel::on:
        return {"Localizable", "Staywake: on"};
    case SpokenLabel::onWithTimerRunning:
        return {"Localizable", "Staywake: on, timer running"};
    case SpokenLabel::onWithLidClosed:
        return {"NightBrew", "Staywake: Night Brew on"};
    case SpokenLabel::onWithLidClosedAndTimerRunning:
        return {"NightBrew", "Staywake: Night Brew on, timer running"};
    }
    return {"Localizable", "Staywake: off"};
}

PathSize MenuBarIcon::cupSize() { return PathSize{std::round(cupHeight * CupOnLaptop::aspect), cupHeight}; }

MenuBarIcon::BadgeLayout MenuBarIcon::badgeLayout(PathSize base, PathSize badge, bool rightToLeft) const {
    const double overlap = keepsLidClosedAwake ? 3 : 2;
    BadgeLayout layout;
    layout.canvas = PathSize{std::round(base.width + badge.width - overlap), badgedHeight};
    layout.base = PathRect{rightToLeft ? layout.canvas.width - base.width : 0,
                           std::round((badgedHeight - base.height) / 2), base.width, base.height};
    layout.badge = PathRect{rightToLeft ? 0 : layout.canvas.width - badge.width, badgedHeight - badge.height,
                            badge.width, badge.height};
    layout.clearedOval = layout.badge.grownBy(badgeClearance);
    return layout;
}

} // namespace staywake
