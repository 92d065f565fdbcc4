#pragma once

#include "StaywakeCore/LoginItem/LoginItem.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace staywake {

/// Opens the app at login through the desktop's autostart folder: the entry
/// `<config home>/autostart/com.staywake.app.desktop` starts this installation
/// of the app. Enabled means the entry exists and is switched off neither by
/// `Hidden=true` (the standard way) nor by `X-GNOME-Autostart-enabled=false`
/// (GNOME's); the desktop never asks for approval. Failures throw SystemError or std::runtime_error
/// with a message that names the path and says what went wrong.
class XdgAutostartLoginItem final : public LoginItem {
public:
    /// `configHome` is $XDG_CONFIG_HOME, `executable` the app's program file,
    /// `home` the user's home folder (for the per-user install prefix).
    XdgAutostartLoginItem(std::filesystem::path configHome, std::filesystem::path executable,
                          std::filesystem::path home);

    /// The item for the user running the process: $XDG_CONFIG_HOME when it is
    /// an absolute path, else ~/.config.
    static XdgAutostartLoginItem forCurrentUser(std::filesystem::path executable);

    LoginItemState state() const override;
    /// True when the program, after resolving links, lies under /usr/,
    /// /usr/local/, /opt/ or ~/.local/ (a whole folder name must match:
    /// /optional/ is not /opt/).
    bool isAtStableLocation() const override;
    /// Writes the entry (atomically): this also repairs an entry that names an
    /// older installation or is switched off. Keys and groups of the user's
    /// own in an existing entry are kept.
    void registerItem() override;
    /// Removes the entry; an entry that is not there is fine.
    void unregisterItem() override;

    /// The entry's text for `executable`, keeping of `existing` (an entry
    /// already there) every line but the keys written here and the switches
    /// that turn it off. Throws std::runtime_error when the path cannot be
    /// named in a desktop entry (not UTF-8, control characters).
    static std::string desktopEntry(const std::filesystem::path& executable, std::string_view existing = {});

private:
    std::filesystem::path entryPath_;
    std::filesystem::path executable_;
    std::filesystem::path home_;
};

} // namespace staywake
