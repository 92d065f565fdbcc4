#pragma once

#include <string>
#include <vector>

/// The language the app's interface runs in, decided from the localizations
/// the app actually shows (best first, BCP 47 tags such as "fr-CA" or
/// "zh-Hans"). Pure functions; the app computes them once per process.
namespace staywake::AppLanguage {

/// The ICU locale identifier in which interface text is formatted: the
/// language and script of the first localization, the region of that
/// localization or else of `base`, and every keyword of `base` (calendar,
/// numbering, hour cycle, first weekday...), so only the language changes
/// and the user's regional preferences stay. `base`'s variant is dropped: it
/// belongs to its own language ("en_US_POSIX"). An empty list gives `base`
/// unchanged.
std::string resolvedLocale(const std::vector<std::string>& preferring, const std::string& base);

} // namespace staywake::AppLanguage
