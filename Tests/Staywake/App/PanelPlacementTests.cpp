#include "Staywake/App/PanelPlacement.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

// A 1920 x 1080 screen; each case's tray takes 24 pixels off its own edge.
const QRect screen(0, 0, 1920, 1080);
const QSize panel(260, 300);

TEST(PanelPlacement, OpensFromTheIconTowardsTheScreenAndStaysInside) {
    const QRect top(0, 24, 1920, 1056), bottom(0, 0, 1920, 1056), left(24, 0, 1896, 1080), right(0, 0, 1896, 1080);
    const struct {
        const char* what;
        QSize panel;
        QRect icon; // empty: the tray names no icon, so the cursor stands in
        QPoint cursor;
        QRect available;
        QPoint expected;
    } cases[] = {
        {"top tray, right end: pushed in", panel, QRect(1896, 1, 22, 22), {}, top, QPoint(1660, 24)},
        {"top tray, middle: centred", panel, QRect(950, 1, 22, 22), {}, top, QPoint(830, 24)},
        {"top tray with a gap: just below the icon", panel, QRect(950, 30, 22, 22), {}, screen, QPoint(830, 52)},
        {"bottom tray, left end: above, pushed in", panel, QRect(2, 1057, 22, 22), {}, bottom, QPoint(0, 756)},
        {"left tray, bottom: beside, pushed up", panel, QRect(1, 1050, 22, 22), {}, left, QPoint(24, 780)},
        {"left tray, middle: beside, centred", panel, QRect(1, 530, 22, 22), {}, left, QPoint(24, 390)},
        {"right tray, top: beside, pushed down", panel, QRect(1897, 2, 22, 22), {}, right, QPoint(1636, 0)},
        {"taller than the screen: top in view",
         QSize(260, 1200),
         QRect(950, 1057, 22, 22),
         {},
         bottom,
         QPoint(830, 0)},
        {"cursor, top right", panel, QRect(), QPoint(1900, 10), top, QPoint(1640, 24)},
        {"cursor, top left", panel, QRect(), QPoint(100, 200), top, QPoint(100, 200)},
        {"cursor, bottom", panel, QRect(), QPoint(1000, 1070), top, QPoint(740, 770)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            panelPosition(c.panel, c.icon, c.cursor.isNull() ? QPoint(700, 500) : c.cursor, screen, c.available),
            c.expected)
            << c.what;
    }
}

} // namespace
} // namespace staywake
