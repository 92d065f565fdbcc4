#include "Staywake/App/PanelPlacement.h"

#include <algorithm>

namespace staywake {

namespace {

enum class Edge { top, bottom, left, right };

Edge nearestEdge(QRect icon, QRect screen) {
    const int top = icon.top() - screen.top();
    const int bottom = screen.bottom() - icon.bottom();
    const int left = icon.left() - screen.left();
    const int right = screen.right() - icon.right();
    const int nearest = std::min({top, bottom, left, right});
    if (nearest == top) {
        return Edge::top;
    }
    if (nearest == bottom) {
        return Edge::bottom;
    }
    return nearest == left ? Edge::left : Edge::right;
}

QPoint nextToIcon(QSize panel, QRect icon, QRect screen) {
    const QPoint centre = icon.center();
    switch (nearestEdge(icon, screen)) {
    case Edge::top:
        return {centre.x() - panel.width() / 2, icon.bottom() + 1};
    case Edge::bottom:
        return {centre.x() - panel.width() / 2, icon.top() - panel.height()};
    case Edge::left:
        return {icon.right() + 1, centre.y() - panel.height() / 2};
    case Edge::right:
        return {icon.left() - panel.width(), centre.y() - panel.height() / 2};
    }
    return icon.topLeft();
}

QPoint atCursor(QSize panel, QPoint cursor, QRect screen) {
    const QPoint middle = screen.center();
    return {cursor.x() <= middle.x() ? cursor.x() : cursor.x() - panel.width(),
            cursor.y() <= middle.y() ? cursor.y() : cursor.y() - panel.height()};
}

} // namespace

QPoint panelPosition(QSize panel, QRect icon, QPoint cursor, QRect screen, QRect available) {
    const QPoint wanted =
        icon.isValid() && !icon.isEmpty() ? nextToIcon(panel, icon, screen) : atCursor(panel, cursor, screen);
    // Right and bottom first, so that a panel larger than the screen keeps
    // its top-left corner (and its first rows) in view.
    const int x = std::max(available.left(), std::min(wanted.x(), available.right() + 1 - panel.width()));
    const int y = std::max(available.top(), std::min(wanted.y(), available.bottom() + 1 - panel.height()));
    return {x, y};
}

} // namespace staywake
