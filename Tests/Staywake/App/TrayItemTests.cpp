#include "Staywake/App/TrayIconImage.h"
#include "Staywake/App/TrayItem.h"

#include "RecordingMechanisms.h"

#include <QImage>

#include <gtest/gtest.h>

namespace staywake {
namespace {

/// The smallest rectangle holding every pixel with ink, in device pixels.
QRect inkBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

TEST(TrayIconImage, KeepsItsDrawnSizeInATraySlotShrinksToFitGrowsOnlyForALargeOneAndTakesTheInk) {
    const MenuBarIcon on = MenuBarIcon::current(true, std::nullopt, false);
    const QColor ink(200, 30, 40);
    const struct {
        int slot;
        double ratio;
        int minimumInkHeight;
        int maximumInkHeight;
    } cases[] = {
        // The cup's box is 14 points high, its ink about 0.91 of that.
        {22, 1, 12, 14}, {22, 2, 25, 27}, {24, 1.5, 18, 20}, {16, 1, 9, 11}, // 21 points wide, shrunk to 16
        {48, 1, 28, 31},                                                     // enlarged to the slot's width
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.slot) + "@" + std::to_string(c.ratio));
        const QImage image = trayImage(on, Qt::LeftToRight, QSize(c.slot, c.slot), c.ratio, ink);
        EXPECT_EQ(image.size(), QSize(c.slot, c.slot) * c.ratio);
        const QRect inked = inkBounds(image);
        EXPECT_GE(inked.height(), c.minimumInkHeight);
        EXPECT_LE(inked.height(), c.maximumInkHeight);
        EXPECT_LE(std::abs(inked.left() - (image.width() - 1 - inked.right())), 2) << "centred";
        EXPECT_EQ(image.pixelColor(inked.center()), ink) << "the filled cup's middle";
    }
}

TEST(TrayItem, NamesAndDrawsTheSessionAsItChangesAndDrawsEachStateOnce) {
    testing::RecordingMechanisms recording;
    const auto controllers = StaywakeApp::live(recording.mechanisms());
    TrayItem tray(controllers.awake, controllers.lid, Qt::LeftToRight);
    auto& lid = *controllers.lid;
    lid.acknowledgeHeatWarning();
    const struct {
        std::function<void()> act;
        const char* label;
    } steps[] = {
        {[] {}, "Staywake: off"},
        {[&] { controllers.awake->turnOn(std::nullopt); }, "Staywake: on"},
        {[&] { controllers.awake->turnOn(3600); }, "Staywake: on, timer running"},
        {[&] { lid.turnOnJoiningSessionOr(7200); }, "Staywake: Night Brew on, timer running"},
        {[&] { lid.turnOff(); }, "Staywake: on, timer running"},
        {[&] { controllers.awake->turnOff(); }, "Staywake: off"},
    };
    std::map<std::string, qint64> drawnFor;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.label);
        s.act();
        EXPECT_EQ(tray.label(), QString::fromLatin1(s.label));
        EXPECT_EQ(tray.systemTrayIcon().toolTip(), tray.label());
        const qint64 drawing = tray.systemTrayIcon().icon().cacheKey();
        const auto [earlier, first] = drawnFor.emplace(s.label, drawing);
        EXPECT_EQ(earlier->second, drawing) << "the same state is drawn once";
        for (const auto& [label, other] : drawnFor) {
            EXPECT_TRUE(label == s.label || other != drawing) << "looks like " << label;
        }
    }
}

} // namespace
} // namespace staywake
