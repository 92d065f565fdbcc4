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

TEST(TrayIconImage, KeepsItsDrawnSizeInATraySlotShrinksToFitAndGrowsOnlyForALargeOne) {
    const MenuBarIcon on = MenuBarIcon::current(true, std::nullopt, false);
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
        const QImage image = trayImage(on, Qt::LeftToRight, QSize(c.slot, c.slot), c.ratio, Qt::black);
        EXPECT_EQ(image.size(), QSize(c.slot, c.slot) * c.ratio) << c.slot << "@" << c.ratio;
        const QRect ink = inkBounds(image);
        EXPECT_GE(ink.height(), c.minimumInkHeight) << c.slot << "@" << c.ratio;
        EXPECT_LE(ink.height(), c.maximumInkHeight) << c.slot << "@" << c.ratio;
        EXPECT_TRUE(image.rect().contains(ink)) << c.slot << "@" << c.ratio;
        EXPECT_LE(std::abs((ink.left() - 0) - (image.width() - 1 - ink.right())), 2) << "centred";
    }
}

TEST(TrayIconImage, IsInkOfTheGivenColourAndPutsTheBadgeOnTheLeftForRightToLeft) {
    const MenuBarIcon badged = MenuBarIcon::current(true, Date{1'700'000'000}, false);
    const QColor ink(200, 30, 40);
    const QImage leftToRight = trayImage(badged, Qt::LeftToRight, QSize(32, 32), 1, ink);
    const QImage rightToLeft = trayImage(badged, Qt::RightToLeft, QSize(32, 32), 1, ink);

    for (int y = 0; y < leftToRight.height(); ++y) {
        for (int x = 0; x < leftToRight.width(); ++x) {
            const QColor pixel = leftToRight.pixelColor(x, y);
            if (pixel.alpha() == 255) {
                ASSERT_EQ(pixel.rgb(), ink.rgb()) << x << "," << y;
            }
        }
    }
    // The badge stands above the cup at the trailing edge: the top row's ink
    // lies right of the middle, or left of it when mirrored.
    const auto topInkCentre = [](const QImage& image) {
        const int top = inkBounds(image).top();
        return inkBounds(image.copy(QRect(0, top, image.width(), 1))).center().x();
    };
    EXPECT_GT(topInkCentre(leftToRight), 16);
    EXPECT_LT(topInkCentre(rightToLeft), 16);
}

TEST(TrayItem, NamesAndDrawsTheSessionAsItChangesAndDrawsEachStateOnce) {
    testing::RecordingMechanisms recording;
    const auto controllers = StaywakeApp::live(recording.mechanisms());
    TrayItem tray(controllers.awake, controllers.lid, Qt::LeftToRight);
    auto& lid = *controllers.lid;
    lid.acknowledgeHeatWarning();

    const struct {
        const char* step;
        std::function<void()> act;
        const char* label;
    } steps[] = {
        {"at start", [] {}, "Staywake: off"},
        {"on", [&] { controllers.awake->turnOn(std::nullopt); }, "Staywake: on"},
        {"for an hour", [&] { controllers.awake->turnOn(3600); }, "Staywake: on, timer running"},
        {"Night Brew joins", [&] { lid.turnOnJoiningSessionOr(7200); }, "Staywake: Night Brew on, timer running"},
        {"without a deadline", [&] { lid.turnOn(std::nullopt); }, "Staywake: Night Brew on"},
        {"Night Brew off", [&] { lid.turnOff(); }, "Staywake: on"},
        {"off", [&] { controllers.awake->turnOff(); }, "Staywake: off"},
    };
    std::map<std::string, qint64> drawnFor;
    for (const auto& s : steps) {
        s.act();
        EXPECT_EQ(tray.label(), QString::fromLatin1(s.label)) << s.step;
        EXPECT_EQ(tray.systemTrayIcon().toolTip(), tray.label()) << s.step;
        const qint64 drawing = tray.systemTrayIcon().icon().cacheKey();
        const auto [earlier, first] = drawnFor.emplace(s.label, drawing);
        EXPECT_EQ(earlier->second, drawing) << s.step << ": the same state is drawn once";
        if (first) {
            for (const auto& [label, other] : drawnFor) {
                EXPECT_TRUE(label == s.label || other != drawing) << s.step << " looks like " << label;
            }
        }
    }
}

} // namespace
} // namespace staywake
