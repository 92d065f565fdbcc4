#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace staywake {

/// The displays the kernel's DRM connectors report as connected, read from
/// `<sysfs root>/class/drm/card*-*/status`.
class DrmDisplayList {
public:
    /// One entry per connected connector, true when it is a built-in panel
    /// (eDP, LVDS, DSI), ordered by card and then connector name (numbers
    /// compared as numbers), at most maximumConsideredDisplays of them.
    /// "disconnected" and "unknown" connectors are not displays. Absent when
    /// the connectors cannot be listed or a status cannot be read: the caller
    /// then assumes an external display.
    static std::optional<std::vector<bool>> onlineDisplaysBuiltIn(const std::filesystem::path& sysfsRoot);
};

} // namespace staywake
