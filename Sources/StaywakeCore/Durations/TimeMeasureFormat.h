#pragma once

#include <string>
#include <vector>

namespace staywake {

/// ICU's measure formatting for lengths of time, behind a header that keeps ICU
/// types out of its callers. The locale decides unit words, list separators,
/// digits and grouping.
class TimeMeasureFormat {
public:
    enum class Unit { hour, minute, second };

    enum class Width {
        /// "1 hr, 30 min" in English.
        abbreviated,
        /// "1 hour, 30 minutes" in English: what a screen reader should speak.
        full,
        /// "1:30:00" in English; hours, minutes and seconds as a time pattern.
        numeric,
    };

    struct Measure {
        /// A whole number (or infinity); callers round before they format.
        double amount = 0;
        Unit unit = Unit::minute;
    };

    /// Formats `measures`, largest unit first, as one text in the locale named
    /// by `locale`: an ICU locale identifier ("de_DE", "ar_EG@numbers=latn") or
    /// a BCP 47 tag ("ar-EG"). An empty identifier is ICU's root locale; an
    /// unknown one falls back the way ICU falls back. The numeric width pads
    /// every unit but the first to two digits ("0:05", "1:00:00").
    /// Throws std::runtime_error only when ICU has no formatting data at all.
    static std::string format(const std::vector<Measure>& measures, Width width, const std::string& locale);
};

} // namespace staywake
