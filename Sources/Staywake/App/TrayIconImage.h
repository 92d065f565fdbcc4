#pragma once

#include "StaywakeCore/Icon/MenuBarIcon.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QSize>
#include <Qt>

namespace staywake {

/// The menu-bar image of `icon` on a tray slot of `slot` logical pixels at
/// `devicePixelRatio`, in `ink`: at its own size (14 points high, 18 with the
/// badge) when that fits the slot, shrunk to fit a smaller one, enlarged
/// only for a slot at least half again as large; centred. A right-to-left
/// layout puts the badge on the left.
QImage trayImage(const MenuBarIcon& icon, Qt::LayoutDirection direction, QSize slot, double devicePixelRatio,
                 const QColor& ink);

/// An icon that draws trayImage for each size and pixel ratio a tray host
/// asks for, once, when first asked: an XEmbed tray paints one size, so the
/// other slot sizes are never drawn. Lists the slot sizes tray hosts use (16
/// to 64 pixels) as its available sizes, which a StatusNotifierItem host is
/// sent.
QIcon trayIcon(const MenuBarIcon& icon, Qt::LayoutDirection direction, const QColor& ink);

} // namespace staywake
