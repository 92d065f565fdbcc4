#include "StaywakeCore/Awake/AwakeIntent.h"

#include <cmath>

namespace staywake {

bool AwakeIntent::isUsable(Date date) {
    const double seconds = date.secondsSince1970;
    return std::isfinite(seconds) && seconds > 0 && seconds <= Date::distantFuture().secondsSince1970;
}

std::optional<Date> AwakeIntent::deadline(double duration, Date start) {
    if (!std::isfinite(duration) || !(duration > 0)) {
        return std::nullopt;
    }
    const Date end = start + duration;
    if (!isUsable(end)) {
        return std::nullopt;
    }
    return end;
}

} // namespace staywake
