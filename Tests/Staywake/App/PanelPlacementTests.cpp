#include "Staywake/App/PanelPlacement.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

// A 1920 x 1080 screen; each case's tray takes 24 pixels off its own edge.
const QRect screen(0, 0, 1920, 1080);
const QSize panel(260, 300);
const QPoint anyCursor(700, 500);

TEST(PanelPlacement, OpensFromTheIconTowardsTheScreenAndStaysInside) {
    const struct {
        const char* what;
        QRect icon;
        QRect available;
        QPoint expected;
    } cases[] = {
        {"top tray, icon at the right end: below, pushed in from the right", QRect(1896, 1, 22, 22),
         QRect(0, 24, 1920, 1056), QPoint(1660, 24)},
        {"top tray, icon in the middle: below, centred", QRect(950, 1, 22, 22), QRect(0, 24, 1920, 1056),
         QPoint(830, 24)},
        {"top tray with a gap under it: just below the icon", QRect(950, 30, 22, 22), QRect(0, 0, 1920, 1080),
         QPoint(830, 52)},
        {"bottom tray, icon at the left end: above, pushed in from the left", QRect(2, 1057, 22, 22),
         QRect(0, 0, 1920, 1056), QPoint(0, 756)},
        {"bottom tray, icon in the middle: above, centred", QRect(950, 1057, 22, 22), QRect(0, 0, 1920, 1056),
         QPoint(830, 756)},
        {"left tray, icon at the bottom: beside, pushed up", QRect(1, 1050, 22, 22), QRect(24, 0, 1896, 1080),
         QPoint(24, 780)},
        {"left tray, icon in the middle: beside, centred", QRect(1, 530, 22, 22), QRect(24, 0, 1896, 1080),
         QPoint(24, 390)},
        {"right tray, icon at the top: beside, pushed down", QRect(1897, 2, 22, 22), QRect(0, 0, 1896, 1080),
         QPoint(1636, 0)},
        {"right tray, icon in the middle: beside, centred", QRect(1897, 530, 22, 22), QRect(0, 0, 1896, 1080),
         QPoint(1636, 390)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(panelPosition(panel, c.icon, anyCursor, screen, c.available), c.expected) << c.what;
    }
}

TEST(PanelPlacement, WithoutIconGeometryOpensAtTheCursorTowardsTheMiddle) {
    const QRect available(0, 24, 1920, 1056);
    const struct {
        QPoint cursor;
        QPoint expected;
    } cases[] = {
        {QPoint(1900, 10), QPoint(1640, 24)},
        {QPoint(100, 200), QPoint(100, 200)},
        {QPoint(1000, 1070), QPoint(740, 770)},
        {QPoint(5, 1079), QPoint(5, 779)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(panelPosition(panel, QRect(), c.cursor, screen, available), c.expected)
            << c.cursor.x() << "," << c.cursor.y();
    }
}

TEST(PanelPlacement, APanelTallerThanTheScreenKeepsItsTopInView) {
    EXPECT_EQ(
        panelPosition(QSize(260, 1200), QRect(950, 1057, 22, 22), anyCursor, screen, QRect(0, 0, 1920, 1056)),
        QPoint(830, 0));
}

} // namespace
} // namespace staywake
