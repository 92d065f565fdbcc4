#include "StaywakeCore/Wording/CountdownText.h"

#include "StaywakeCore/Durations/TimeMeasureFormat.h"

#include <cmath>

namespace staywake {

std::string CountdownText::formatted(double remaining, const std::string& locale) {
    using Unit = TimeMeasureFormat::Unit;
    const double seconds = remaining > 0 ? std::floor(remaining) : 0;
    const double totalMinutes = std::floor(seconds / 60);
    // Only an infinite time has no leftover seconds or minutes to show.
    const double secondsPart = std::isfinite(seconds) ? std::fmod(seconds, 60) : 0;
    if (seconds < 3600) {
        return TimeMeasureFormat::format({{totalMinutes, Unit::minute}, {secondsPart, Unit::second}},
                                         TimeMeasureFormat::Width::numeric, locale);
    }
    const double minutesPart = std::isfinite(totalMinutes) ? std::fmod(totalMinutes, 60) : 0;
    return TimeMeasureFormat::format(
        {{std::floor(seconds / 3600), Unit::hour}, {minutesPart, Unit::minute}, {secondsPart, Unit::second}},
        TimeMeasureFormat::Width::numeric, locale);
}

LocalizableText CountdownText::statusText(bool isOn, std::optional<double> remaining, const std::string& locale) {
    if (!isOn) {
        return LocalizableText::localizable("Off");
    }
    if (!remaining) {
        return LocalizableText::localizable("On");
    }
    return LocalizableText::localizable("On · %1 left", {formatted(*remaining, locale)});
}

} // namespace staywake
