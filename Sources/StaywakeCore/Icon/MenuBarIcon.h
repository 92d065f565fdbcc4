#pragma once

#include "StaywakeCore/Clock/Date.h"
#include "StaywakeCore/Icon/CupGlyph.h"
#include "StaywakeCore/Icon/PathData.h"

#include <optional>
#include <string_view>

namespace staywake {

/// What the menu-bar item shows: the cup on the laptop (or the mug pair in Night Brew),
/// solid while awake, with a clock badge while a session has a deadline.
struct MenuBarIcon {
    /// What assistive technologies read for the item.
    enum class SpokenLabel { off, on, onWithTimerRunning, onWithLidClosed, onWithLidClosedAndTimerRunning };

    /// A localised text: the table it lives in and its key, the English wording.
    struct LocalizedText {
        std::string_view table;
        std::string_view key;
        friend constexpr bool operator==(LocalizedText, LocalizedText) = default;
    };

    /// Where the parts of a badged icon go, in points, y upwards.
    struct BadgeLayout {
        PathSize canvas;
        PathRect base;
        PathRect badge;
        /// Cleared from the base before the badge is drawn, so the badge stands free.
        PathRect clearedOval;
        friend constexpr bool operator==(const BadgeLayout&, const BadgeLayout&) = default;
    };

    static constexpr double cupHeight = 14;
    static constexpr double mugPairPointSize = 15;
    static constexpr double badgePointSize = 8;
    static constexpr double badgedHeight = 18;
    static constexpr double badgeClearance = 1.5;

    bool isOn = false;
    bool showsTimerBadge = false;
    bool keepsLidClosedAwake = false;

    /// The icon for the awake session's state; when off, the lid flag does not count.
    static MenuBarIcon current(bool isOn, std::optional<Date> activeUntil, bool lidClosed);

    CupGlyph glyph() const;
    SpokenLabel spokenLabel() const;

    /// The text of a spoken label: Night Brew labels come from the "NightBrew" table, the
    /// others from "Localizable".
    static LocalizedText text(SpokenLabel label);

    /// The cup on the laptop at menu-bar size: 14 points high, as wide as its aspect asks.
    static PathSize cupSize();

    /// Places `base` and `badge` side by side: the base at the leading edge, vertically
    /// centred; the badge at the top of the trailing edge, overlapping the base a little.
    BadgeLayout badgeLayout(PathSize base, PathSize badge, bool rightToLeft) const;

    friend constexpr bool operator==(const MenuBarIcon&, const MenuBarIcon&) = default;
};

} // namespace staywake
