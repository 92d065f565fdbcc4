#pragma once

#include <QIcon>

#include <functional>

class QApplication;

namespace staywake::ApplicationIcon {

/// Gives the application its window icon, made by `make`, when the first
/// window the window manager shows (a window or a dialog) opens, not at start.
/// Looking a name up in the icon theme reads the theme's whole index, several
/// hundred KiB of heap that stays; a tray app whose windows may never open
/// should not pay that. Popups, tooltips and the tray's own embedded window
/// carry no icon and do not count.
void setOnFirstWindow(QApplication& application, std::function<QIcon()> make);

} // namespace staywake::ApplicationIcon
