#pragma once

#include "StaywakeCore/Wording/LocalizableText.h"

#include <optional>
#include <string>

namespace staywake {

/// The countdown the panel shows while a timed session runs.
class CountdownText {
public:
    CountdownText() = delete;

    /// The remaining time rounded down to whole seconds, as hours, minutes and
    /// seconds ("1:00:00") from an hour up and as minutes and seconds ("59:59",
    /// "0:05") below, with the locale's digits and separators ("٥٩:٥٩" in
    /// Arabic). A negative or not-a-number time reads as 0:00. `locale` is an
    /// ICU locale identifier or BCP 47 tag.
    static std::string formatted(double remaining, const std::string& locale);

    /// The status line under the app name: "On · %1 left" with the countdown
    /// while a session with a deadline is on, else "On" or "Off". Takes the
    /// awake controller's isOn and remaining.
    static LocalizableText statusText(bool isOn, std::optional<double> remaining, const std::string& locale);
};

} // namespace staywake
