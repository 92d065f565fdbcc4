#include "StaywakeCore/Durations/AwakeDuration.h"

#include "StaywakeCore/Durations/TimeMeasureFormat.h"

#include <cmath>

namespace staywake {

namespace {

std::string hoursAndMinutes(AwakeDuration duration, TimeMeasureFormat::Width width, const std::string& locale) {
    using Unit = TimeMeasureFormat::Unit;
    const double totalMinutes = duration.roundedDownToWholeMinutes().seconds / 60;
    if (std::isinf(totalMinutes)) {
        return TimeMeasureFormat::format({{totalMinutes, Unit::hour}}, width, locale);
    }
    const double hours = std::floor(totalMinutes / 60);
    const double minutes = std::fmod(totalMinutes, 60);

    std::vector<TimeMeasureFormat::Measure> measures;
    if (hours > 0) {
        measures.push_back({hours, Unit::hour});
    }
    if (minutes > 0 || measures.empty()) {
        measures.push_back({minutes, Unit::minute});
    }
    return TimeMeasureFormat::format(measures, width, locale);
}

} // namespace

std::vector<AwakeDuration> AwakeDuration::presets() {
    return {AwakeDuration{1800}, AwakeDuration{3600}, AwakeDuration{7200}};
}

std::vector<double> AwakeDuration::secondsOf(const std::vector<AwakeDuration>& durations) {
    std::vector<double> seconds;
    seconds.reserve(durations.size());
    for (const auto& duration : durations) {
        seconds.push_back(duration.seconds);
    }
    return seconds;
}

AwakeDuration AwakeDuration::roundedDownToWholeMinutes() const {
    if (!(seconds > 0)) {
        return AwakeDuration{0};
    }
    return AwakeDuration{std::floor(seconds / 60) * 60};
}

std::string AwakeDuration::label(const std::string& locale) const {
    return hoursAndMinutes(*this, TimeMeasureFormat::Width::abbreviated, locale);
}

std::string AwakeDuration::fullLabel(const std::string& locale) const {
    return hoursAndMinutes(*this, TimeMeasureFormat::Width::full, locale);
}

} // namespace staywake
