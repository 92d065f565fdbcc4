#include "Staywake/App/PanelPlacement.h"

#include <gtest/gtest.h>
#include <tuple>

namespace staywake {
namespace {

// A 1920 x 1080 screen; each case's tray takes 24 pixels off its own edge.
const QRect screen(0, 0, 1920, 1080);
const QSize panel(260, 300);

TEST(PanelPlacement, OpensFromTheIconTowardsTheScreenAndStaysInside) {
    const QRect top(0, 24, 1920, 1056), bottom(0, 0, 1920, 1056), left(24, 0, 1896, 1080), right(0, 0, 1896, 1080);
    // panel, icon (none: the tray names no icon, so the cursor stands in), cursor, available area; expected
    const std::tuple<QSize, QRect, QPoint, QRect, QPoint> cases[] = {
        {panel, QRect(1896, 1, 22, 22), {}, top, {1660, 24}},          // top tray, right end: pushed in
        {panel, QRect(2, 1057, 22, 22), {}, bottom, {0, 756}},         // bottom tray, left end: above, pushed in
        {panel, QRect(1, 1050, 22, 22), {}, left, {24, 780}},          // left tray: beside, pushed up
        {panel, QRect(1897, 2, 22, 22), {}, right, {1636, 0}},         // right tray: beside, pushed down
        {{260, 1200}, QRect(950, 1057, 22, 22), {}, bottom, {830, 0}}, // taller than the screen: top in view
        {panel, QRect(), {100, 200}, top, {100, 200}},
        {panel, QRect(), {1000, 1070}, top, {740, 770}},
    };
    for (const auto& [size, icon, cursor, available, expected] : cases) {
        EXPECT_EQ(panelPosition(size, icon, cursor, screen, available), expected) << icon.x() << "," << cursor.x();
    }
}

} // namespace
} // namespace staywake
