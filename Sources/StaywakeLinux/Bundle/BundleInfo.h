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
    static constexpr std::uintmax_t sizeLimit = 1048576;

    /// Absent unless the file is a regular file of at most sizeLimit bytes
    /// holding a property-list dictionary.
    static std::optional<PropertyValue::Dictionary> around(const std::filesystem::path& program);
    /// "short version (build)" of that dictionary (LidHelperService::bundleVersion);
    /// absent without a program or a usable dictionary.
    static std::optional<std::string> versionAround(const std::optional<std::string>& program);
};

} // namespace staywake
