#include "Staywake/App/TrayIconImage.h"
#include "Staywake/App/TrayItem.h"

#include "RecordingMechanisms.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

namespace staywake {
namespace {

/// The height of the band of rows that hold ink, in device pixels.
int inkHeight(const QImage& image) {
    int top = image.height();
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                top = std::min(top, y);
                bottom = y;
            }
        }
    }
    return bottom - top + 1;
}

TEST(TrayIconImage, FillsTheSlotAtItsPixelRatioShrinksToFitAndTakesTheInk) {
    const MenuBarIcon on = MenuBarIcon::current(true, std::nullopt, false);
    const QColor ink(200, 30, 40);
    // slot, ratio, ink height: the cup's ink is about 13 of its 14 points; 21 points wide, it shrinks into 16.
    for (const auto& [slot, ratio, height] :
         {std::tuple(22, 1.0, 13), std::tuple(22, 2.0, 26), std::tuple(16, 1.0, 10)}) {
        const QImage image = trayImage(on, Qt::LeftToRight, QSize(slot, slot), ratio, ink);
        EXPECT_EQ(image.size(), QSize(slot, slot) * ratio);
        EXPECT_NEAR(inkHeight(image), height, 1) << slot << "@" << ratio;
        EXPECT_EQ(image.pixelColor(image.rect().center()), ink) << slot << "@" << ratio;
    }
}

TEST(TrayIconImage, TheIconDrawsEachSizeItIsAskedForOnceAndNothingElse) {
    const MenuBarIcon on = MenuBarIcon::current(true, Date{1'700'000'000}, false);
    const QColor ink(20, 120, 40);
    const QIcon icon = trayIcon(on, Qt::RightToLeft, ink);
    EXPECT_EQ(icon.availableSizes(),
              (QList<QSize>{{16, 16}, {20, 20}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}}));
    for (const double ratio : {1.0, 2.0}) {
        const QImage expected = trayImage(on, Qt::RightToLeft, QSize(22, 22), ratio, ink);
        // A StatusNotifierItem host is sent pixmaps; an XEmbed tray paints.
        const QPixmap pixmap = icon.pixmap(QSize(22, 22), ratio);
        EXPECT_EQ(pixmap.toImage(), expected) << ratio;
        EXPECT_EQ(icon.pixmap(QSize(22, 22), ratio).cacheKey(), pixmap.cacheKey()) << ratio << " is drawn again";
        QImage painted(expected.size(), QImage::Format_ARGB32_Premultiplied);
        painted.setDevicePixelRatio(ratio);
        painted.fill(Qt::transparent);
        QPainter painter(&painted);
        icon.paint(&painter, QRect(0, 0, 22, 22));
        painter.end();
        EXPECT_EQ(painted, expected) << ratio;
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
        s.act();
        EXPECT_EQ(tray.label(), QString::fromLatin1(s.label));
        EXPECT_EQ(tray.systemTrayIcon().toolTip(), tray.label()) << s.label;
        const qint64 drawing = tray.systemTrayIcon().icon().cacheKey();
        const auto [earlier, first] = drawnFor.emplace(s.label, drawing);
        EXPECT_EQ(earlier->second, drawing) << s.label << " is drawn once";
        for (const auto& [label, other] : drawnFor) {
            EXPECT_TRUE(label == s.label || other != drawing) << s.label << " looks like " << label;
        }
    }
}

} // namespace
} // namespace staywake
