#include "StaywakeCore/Control/ControlInput.h"

#include <cmath>
#include <string>

namespace staywake {

namespace {

/// Reads the digits at `at`, at most 9 of them, so the sum cannot overflow.
std::optional<long long> number(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    long long value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (at - start == 9) {
            return std::nullopt;
        }
        value = value * 10 + (text[at] - '0');
        ++at;
    }
    return at == start ? std::nullopt : std::optional<long long>(value);
}

} // namespace

std::optional<double> ControlInput::duration(std::string_view text) {
    constexpr std::string_view units = "hms";
    constexpr long long seconds[] = {3600, 60, 1};
    long long total = 0;
    std::size_t at = 0;
    std::size_t nextUnit = 0;
    while (at < text.size()) {
        const auto value = number(text, at);
        if (!value || at == text.size()) {
            return std::nullopt;
        }
        const auto unit = units.find(text[at], nextUnit);
        if (unit == std::string_view::npos) {
            return std::nullopt;
        }
        total += *value * seconds[unit];
        nextUnit = unit + 1;
        ++at;
    }
    const auto length = static_cast<double>(total);
    return isSessionLength(length) ? std::optional<double>(length) : std::nullopt;
}

std::optional<ControlInput::ClockTime> ControlInput::clockTime(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() - colon != 3) {
        return std::nullopt;
    }
    std::size_t at = 0;
    const auto hour = number(text, at);
    if (!hour || at != colon) {
        return std::nullopt;
    }
    ++at;
    const auto minute = number(text, at);
    if (!minute || at != text.size() || *hour > 23 || *minute > 59) {
        return std::nullopt;
    }
    return ClockTime{static_cast<int>(*hour), static_cast<int>(*minute)};
}

int ControlInput::daysUntil(ClockTime target, int hour, int minute, int second) {
    const int now = (hour * 60 + minute) * 60 + second;
    const int then = (target.hour * 60 + target.minute) * 60;
    return then > now ? 0 : 1;
}

bool ControlInput::isSessionLength(double seconds) {
    return std::isfinite(seconds) && seconds > 0 && seconds <= longestSession;
}

} // namespace staywake
