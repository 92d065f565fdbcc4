#pragma once

#include "StaywakeCore/Defaults/PropertyValue.h"

#include <optional>
#include <string>
#include <string_view>

/// The names and timings that tie the app, the helper and the service manager
/// together. Both processes build from these, so a name can never differ
/// between them.
namespace staywake::LidHelperService {

/// The service manager's label for the helper, and the name it listens on.
inline constexpr std::string_view label = "com.staywake.app.lidhelper";
/// The polkit action a process must be authorized for to hold a lease: the
/// shipped policy allows it to active local sessions only.
inline constexpr std::string_view holdAction = "com.staywake.app.lidhelper.hold";
/// How long a new connection's requests wait for polkit's answer; no answer
/// by then refuses it, well inside the app's reply timeout.
inline constexpr double authorizationTimeout = 1.0;
/// The app's bundle identifier.
inline constexpr std::string_view appIdentifier = "com.staywake.app";
/// The name under which the app registers the helper.
inline constexpr std::string_view plistName = "com.staywake.app.lidhelper.plist";
/// The helper program's path inside the app bundle.
inline constexpr std::string_view bundleProgram = "Contents/Helpers/StaywakeLidHelper";
/// The longest the app waits, when it quits, for the helper to answer.
inline constexpr double exitTimeout = 5;
/// How long after SIGTERM the helper keeps trying to put the setting back.
inline constexpr double stopRetryWindow = 2.5;
/// The pause between those attempts.
inline constexpr double stopRetryPause = 0.5;

/// The helper's job description for the service manager: exactly the keys
/// "Label", "BundleProgram", "MachServices", "AssociatedBundleIdentifiers",
/// "RunAtLoad" and "KeepAlive".
PropertyValue::Dictionary launchdPlist();

/// The code-signing requirement that a peer with `identifier`, signed by
/// `teamIdentifier`, meets. Absent unless the Team ID is exactly ten
/// characters A-Z or 0-9 and the identifier is non-empty ASCII letters,
/// digits, "." and "-", so nothing can be smuggled into the text.
std::optional<std::string> codeRequirement(std::string_view identifier,
                                           const std::optional<std::string>& teamIdentifier);

/// The helper's first log line: its version (see bundleVersion), code
/// directory hash and path, and the path it was started as when that differs.
std::string startLine(const std::optional<std::string>& version, const std::optional<std::string>& executablePath,
                      const std::optional<std::string>& launchedPath,
                      const std::optional<std::string>& codeDirectoryHash);

/// "short version (build)" from a bundle's information dictionary. Absent
/// unless its "CFBundleShortVersionString" and "CFBundleVersion" are texts
/// that pass `isVersion`.
std::optional<std::string> bundleVersion(const PropertyValue::Dictionary& info);

/// Not empty, at most 64 bytes, and only ASCII letters, digits, ".", "-" and
/// "_": safe to put into a log line as it is.
bool isVersion(std::string_view text);

} // namespace staywake::LidHelperService
