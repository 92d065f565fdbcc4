#pragma once

#include "StaywakeCore/Defaults/PropertyValue.h"

#include <optional>
#include <string>

namespace staywake {

/// The version the about popup shows and the feedback address carries, read
/// from the bundle's information dictionary.
struct AboutInfo {
    std::string version;
    /// Empty when the bundle names no build.
    std::string build;

    /// The "CFBundleShortVersionString" text and the "CFBundleVersion" text (or
    /// an empty build when that is missing or not a text). Absent without a
    /// dictionary, or when the short version is missing, not a text or empty:
    /// then nothing shows a version.
    static std::optional<AboutInfo> fromInfoDictionary(const std::optional<PropertyValue::Dictionary>& info);

    /// "1.2 (45)"; the version alone when the build is empty or the same text.
    std::string formattedVersion() const;
};

} // namespace staywake
