#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace staywake {

/// Where the panel's window goes when the tray item opens it, in the
/// screen's logical pixels:
/// - below the icon when the tray runs along the top of the screen, above it
///   along the bottom, to its right along the left side and to its left along
///   the right side, centred on the icon along the tray;
/// - without the icon's geometry (most StatusNotifierItem hosts give none) at
///   the cursor, opening towards the middle of the screen;
/// - always inside `available` (the screen without its panels and docks);
///   a panel larger than that keeps its top-left corner inside.
/// The tray's side is the screen edge nearest the icon.
QPoint panelPosition(QSize panel, QRect icon, QPoint cursor, QRect screen, QRect available);

} // namespace staywake
