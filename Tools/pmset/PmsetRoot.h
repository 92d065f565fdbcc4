#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace staywake {

/// The system the pmset tool works on: "/" and the running systemd, or, when
/// STAYWAKE_PMSET_ROOT names a directory, that tree alone: systemctl runs
/// with --root on it and logind is never signalled. Tests use the override so
/// that they never touch the host's units.
class PmsetRoot {
public:
    static constexpr const char* overrideVariable = "STAYWAKE_PMSET_ROOT";

    /// From the override's value (absent or empty: the real system). Throws
    /// PmsetToolError when the value is not an absolute path to a directory.
    static PmsetRoot fromOverride(const char* value);

    /// A path of the system, given as absolute ("/run/...").
    std::filesystem::path path(const std::string& absolute) const;
    /// The arguments that put systemctl onto this system.
    std::vector<std::string> systemctlOptions() const;
    /// Whether this is a tree of its own rather than the running system.
    bool isOverridden() const { return overridden_.has_value(); }

private:
    explicit PmsetRoot(std::optional<std::filesystem::path> overridden) : overridden_(std::move(overridden)) {}

    std::optional<std::filesystem::path> overridden_;
};

} // namespace staywake
