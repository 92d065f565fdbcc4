#pragma once

#include <filesystem>
#include <optional>
#include <string>

/// The current user's folders, as the desktop's base-directory rules name
/// them. The settings file and the autostart entry both live below the
/// configuration folder.
namespace staywake::UserFolders {

/// HOME when it is an absolute path, else the home the password database
/// gives the user; absent when neither does.
std::optional<std::filesystem::path> home();

/// $XDG_CONFIG_HOME when it names an absolute path (a relative one is invalid
/// and ignored), else <home>/.config; absent when neither gives a folder.
std::optional<std::filesystem::path> configHome();

/// The configHome rule on given values (absent: the variable is not set).
std::optional<std::filesystem::path> configHomeFor(const std::optional<std::string>& xdgConfigHome,
                                                   const std::optional<std::filesystem::path>& home);

} // namespace staywake::UserFolders
