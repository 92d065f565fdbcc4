#pragma once

#include "StaywakeCore/Defaults/PropertyValue.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace staywake {

/// The information dictionary of the bundle a program lies in: the
/// Info.plist in the parent of the program's folder (Contents/Info.plist for a
/// program in Contents/bin or Contents/Helpers).
class BundleInfo {
public:
    /// The largest information file read; anything bigger is no bundle's.
    /// libplist parses nested containers recursively and a binary list needs
    /// only a few bytes a level, so a bigger file could nest deep enough to
    /// overflow the root helper's stack.
    static constexpr std::uintmax_t sizeLimit = 64 * 1024;

    /// The dictionary in the information file at `infoPlist`: absent unless it
    /// is a regular file of at most sizeLimit bytes holding a property-list
    /// dictionary.
    static std::optional<PropertyValue::Dictionary> read(const std::filesystem::path& infoPlist);
    /// The same for the bundle around `program`.
    static std::optional<PropertyValue::Dictionary> around(const std::filesystem::path& program);
    /// "short version (build)" of that dictionary (LidHelperService::bundleVersion);
    /// absent without a program or a usable dictionary.
    static std::optional<std::string> versionAround(const std::optional<std::string>& program);
};

} // namespace staywake
