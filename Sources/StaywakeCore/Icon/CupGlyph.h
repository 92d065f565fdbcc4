#pragma once

namespace staywake {

/// The app's glyph: a cup, or two mugs while the lid may be closed; solid while awake.
struct CupGlyph {
    enum class Vessel { cup, doubleMug };

    Vessel vessel = Vessel::cup;
    bool isFilled = false;

    constexpr CupGlyph(Vessel vesselKind, bool filled) : vessel(vesselKind), isFilled(filled) {}

    friend constexpr bool operator==(CupGlyph, CupGlyph) = default;
};

} // namespace staywake
