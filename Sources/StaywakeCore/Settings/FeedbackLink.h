#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

/// The address of the maker's feedback page, with what the report needs to
/// know: the app's version, the operating system and the page's language.
namespace staywake::FeedbackLink {

/// The feedback page (https, path "/feedback"), set when the project is
/// configured (STAYWAKE_FEEDBACK_FORM).
extern const std::string_view form;

/// The site languages the feedback page exists in.
inline constexpr std::array<std::string_view, 12> languages{
    "ar", "de", "es", "fr", "fr-CA", "it", "ja", "pl", "ru", "uk", "zh-Hans", "zh-Hant",
};

/// `page` (the feedback form unless a test names another) with the language put in front of its path
/// ("/de/feedback") when the page exists in that language, and the query items "app" and "os" for the values
/// that are present and not empty, percent-encoded (everything but letters, digits and "-._~"). No query at
/// all when neither is left.
std::string url(const std::optional<std::string>& appVersion, const std::optional<std::string>& osVersion,
                const std::optional<std::string>& language, std::string_view page = FeedbackLink::form);

/// The operating system as the "os" item names it: os-release's ID and
/// VERSION_ID joined by "-" ("debian-12", "fedora-40", "ubuntu-22.04"), the ID
/// alone when there is no version (rolling releases), and "linux" for a file
/// without an ID, as os-release prescribes. A three-part numeric version is
/// shortened like a system version ("15.1.0" reads "15.1").
std::string operatingSystem(std::string_view osRelease);

/// Major and minor joined by ".", then ".patch" only when the patch is not 0.
std::string systemVersion(unsigned major, unsigned minor, unsigned patch);

} // namespace staywake::FeedbackLink
