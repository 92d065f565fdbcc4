#include "Staywake/Icon/DrawingPainter.h"
#include "Staywake/Icon/GlyphImage.h"
#include "Staywake/Icon/MenuBarIconImage.h"
#include "StaywakeCore/Icon/CupOnLaptop.h"
#include "StaywakeCore/Icon/DrawnSymbol.h"
#include "StaywakeCore/Icon/MugPair.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace staywake {
namespace {

using CupOnLaptop::Detail;

const MenuBarIcon off{false, false, false};
const MenuBarIcon on{true, false, false};
const MenuBarIcon onWithTimer{true, true, false};
const MenuBarIcon nightBrew{true, false, true};
const MenuBarIcon nightBrewWithTimer{true, true, true};

int alphaAt(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)); }

// Calls `visit` with every pixel's centre in points, y upwards, as the drawing space sees it.
void forEachPixel(const QImage& image, const std::function<void(int, int, PathPoint)>& visit) {
    const double scale = image.devicePixelRatio();
    const double height = image.height() / scale;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            visit(x, y, PathPoint{(x + 0.5) / scale, height - (y + 0.5) / scale});
        }
    }
}

// The pixels whose centres lie inside `path` (drawing space of `image`), and how many of them
// carry ink.
struct Coverage {
    int pixels = 0;
    int inked = 0;
    int opaque = 0;
};

Coverage coverage(const QImage& image, const PathData& path) {
    const QPainterPath inside = DrawingPainter::painterPath(path);
    Coverage result;
    forEachPixel(image, [&](int x, int y, PathPoint centre) {
        if (inside.contains(QPointF(centre.x, centre.y))) {
            ++result.pixels;
            result.inked += alphaAt(image, x, y) > 0 ? 1 : 0;
            result.opaque += alphaAt(image, x, y) == 255 ? 1 : 0;
        }
    });
    return result;
}

TEST(MenuBarIconImage, HasTheSizeOfItsStateAtBothScales) {
    const struct {
        const char* name;
        MenuBarIcon icon;
        QSizeF points;
    } cases[] = {
        {"off", off, {21, 14}},
        {"on", on, {21, 14}},
        {"on with timer", onWithTimer, {27, 18}},
        {"Night Brew", nightBrew, {19, 14}},
        {"Night Brew with timer", nightBrewWithTimer, {24, 18}},
    };
    for (const auto& c : cases) {
        for (const auto direction : {Qt::LeftToRight, Qt::RightToLeft}) {
            const TemplateImage image = staywake::image(c.icon, direction);
            EXPECT_EQ(image.size(), c.points) << c.name;
            for (const int scale : {1, 2}) {
                const QImage bitmap = image.representation(scale);
                EXPECT_EQ(bitmap.size(), (c.points * scale).toSize()) << c.name << " @" << scale;
                EXPECT_EQ(bitmap.devicePixelRatio(), scale);
            }
        }
    }
}

TEST(MenuBarIconImage, IsBlackInkOnATransparentBackground) {
    for (const MenuBarIcon& icon : {off, on, onWithTimer, nightBrew, nightBrewWithTimer}) {
        for (const int scale : {1, 2}) {
            const QImage bitmap = staywake::image(icon, Qt::LeftToRight).representation(scale);
            int inked = 0;
            for (int y = 0; y < bitmap.height(); ++y) {
                for (int x = 0; x < bitmap.width(); ++x) {
                    const QRgb pixel = bitmap.pixel(x, y);
                    ASSERT_EQ(qRed(pixel) | qGreen(pixel) | qBlue(pixel), 0)
                        << "colour at " << x << "," << y << " of state " << icon.isOn << icon.showsTimerBadge
                        << icon.keepsLidClosedAwake << " @" << scale;
                    inked += qAlpha(pixel) > 0 ? 1 : 0;
                }
            }
            // The corners are background, and a good part of the image is ink.
            EXPECT_EQ(alphaAt(bitmap, 0, 0), 0);
            EXPECT_EQ(alphaAt(bitmap, 0, bitmap.height() - 1), 0);
            EXPECT_GT(inked, bitmap.width() * bitmap.height() / 8);
            EXPECT_LT(inked, bitmap.width() * bitmap.height() * 9 / 10);
        }
    }
}

// The inside of the cup's body, clear of the stroke and its antialiasing. Insetting moves the
// sloped sides less than it moves the rim and foot, so this stays a fifth of a line width and
// one and a half device pixels further in.
PathData cupInterior(QSizeF points, double scale) {
    const CupOnLaptop::Placement place(DrawingPainter::drawingRect(QRectF(QPointF(0, 0), points)),
                                       CupOnLaptop::detail(points.height() * scale), scale);
    return CupOnLaptop::bodyPath(place, 1.2 * CupOnLaptop::lineWidth + 1.5 / (scale * place.unit));
}

TEST(CupGlyphImage, OutlinedCupIsEmptyInsideAndTheSolidOneIsFull) {
    for (const double pointSize : {12.0, 14.6, 17.0, 26.0, 48.0, 100.0}) {
        const TemplateImage outlined = image(CupGlyph(CupGlyph::Vessel::cup, false), pointSize);
        const TemplateImage solid = image(CupGlyph(CupGlyph::Vessel::cup, true), pointSize);
        for (const int scale : {1, 2}) {
            const PathData interior = cupInterior(outlined.size(), scale);
            const Coverage empty = coverage(outlined.representation(scale), interior);
            const Coverage full = coverage(solid.representation(scale), interior);
            EXPECT_GT(empty.pixels, 4) << pointSize << "@" << scale;
            EXPECT_EQ(empty.inked, 0) << pointSize << "@" << scale;
            EXPECT_EQ(full.opaque, full.pixels) << pointSize << "@" << scale;
        }
    }
}

TEST(MenuBarIconImage, OnAndOffDifferInsideTheCup) {
    for (const int scale : {1, 2}) {
        const QImage offBitmap = image(off, Qt::LeftToRight).representation(scale);
        const QImage onBitmap = image(on, Qt::LeftToRight).representation(scale);
        const PathData interior = cupInterior(QSizeF(21, 14), scale);
        const Coverage offInside = coverage(offBitmap, interior);
        const Coverage onInside = coverage(onBitmap, interior);
        EXPECT_GT(offInside.pixels, 10);
        EXPECT_EQ(offInside.inked, 0);
        EXPECT_EQ(onInside.opaque, onInside.pixels);
    }
}

// The pieces a badged icon is made of, as drawn.
struct Badged {
    MenuBarIcon::BadgeLayout layout;
    QImage composite;
    QImage base;
    QImage badge;
};

Badged badged(const MenuBarIcon& icon, Qt::LayoutDirection direction, int scale) {
    const MenuBarIcon unbadged{icon.isOn, false, icon.keepsLidClosedAwake};
    const TemplateImage base = image(unbadged, direction);
    const auto badge = symbolImage("clock.fill", MenuBarIcon::badgePointSize);
    const auto toSize = [](QSizeF s) { return PathSize{s.width(), s.height()}; };
    return Badged{icon.badgeLayout(toSize(base.size()), toSize(badge->size()), direction == Qt::RightToLeft),
                  image(icon, direction).representation(scale), base.representation(scale),
                  badge->representation(scale)};
}

double distance(PathPoint a, PathPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

PathPoint centreOf(const PathRect& rect) { return {rect.x + rect.width / 2, rect.y + rect.height / 2}; }

TEST(MenuBarIconImage, BadgeStandsInAClearedRingAtTheTrailingEdge) {
    for (const MenuBarIcon& icon : {onWithTimer, nightBrewWithTimer}) {
        for (const auto direction : {Qt::LeftToRight, Qt::RightToLeft}) {
            const int scale = 2;
            const Badged parts = badged(icon, direction, scale);
            const PathPoint badgeCentre = centreOf(parts.layout.badge);
            const double badgeRadius = parts.layout.badge.width / 2;
            const double clearedRadius = parts.layout.clearedOval.width / 2;
            // The badge is at the right edge, or at the left one for right-to-left.
            const bool rightToLeft = direction == Qt::RightToLeft;
            EXPECT_EQ(rightToLeft ? parts.layout.badge.minX() : parts.layout.badge.maxX(),
                      rightToLeft ? 0 : parts.layout.canvas.width);
            EXPECT_EQ(parts.layout.badge.maxY(), parts.layout.canvas.height);

            int ringInkInBase = 0;
            forEachPixel(parts.composite, [&](int x, int y, PathPoint centre) {
                const double fromBadge = distance(centre, badgeCentre);
                const int alpha = alphaAt(parts.composite, x, y);
                // Where the base would show: the base image at its place.
                const int baseX = x - static_cast<int>(parts.layout.base.x * scale);
                const int baseY =
                    y - static_cast<int>((parts.layout.canvas.height - parts.layout.base.maxY()) * scale);
                const bool inBase = baseX >= 0 && baseY >= 0 && baseX < parts.base.width() &&
                                    baseY < parts.base.height();
                const int baseAlpha = inBase ? alphaAt(parts.base, baseX, baseY) : 0;
                if (fromBadge > badgeRadius + 0.5 && fromBadge < clearedRadius - 0.5) {
                    EXPECT_EQ(alpha, 0) << "ring pixel " << x << "," << y;
                    ringInkInBase += baseAlpha > 0 ? 1 : 0;
                } else if (fromBadge < badgeRadius - 0.5) {
                    const int badgeX = x - static_cast<int>(parts.layout.badge.x * scale);
                    const int badgeY = y;
                    EXPECT_EQ(alpha, alphaAt(parts.badge, badgeX, badgeY)) << "badge pixel " << x << "," << y;
                } else if (fromBadge > clearedRadius + 0.5) {
                    EXPECT_EQ(alpha, baseAlpha) << "base pixel " << x << "," << y;
                }
            });
            // The ring really clears something the base draws there.
            EXPECT_GT(ringInkInBase, 0) << icon.keepsLidClosedAwake << " " << rightToLeft;
        }
    }
}

TEST(MugPairImage, FrontMugIsCutCleanlyOutOfTheBackOne) {
    const auto mugSymbol = DrawnSymbol::named("mug");
    const auto mugSize = mugSymbol->size(13);
    const auto layout = MugPair::layout(mugSize, 14);
    for (const bool filled : {false, true}) {
        const TemplateImage pair = mugPairImage(15, filled);
        ASSERT_EQ(pair.size(), QSizeF(layout.canvas.width, layout.canvas.height));
        const auto mug = symbolImage(filled ? "mug.fill" : "mug", 13);
        const auto stencil = symbolImage("mug.fill", 13);
        for (const int scale : {1, 2}) {
            const QImage bitmap = pair.representation(scale);
            const QImage front = mug->representation(scale);
            const QImage shape = stencil->representation(scale);
            const int frontX = static_cast<int>(layout.front.x * scale);
            const int frontY = static_cast<int>((layout.canvas.height - layout.front.y - mugSize.height) * scale);

            // The front mug is drawn whole, and where it is hollow nothing of the back mug shows.
            int hollow = 0;
            for (int y = 0; y < front.height(); ++y) {
                for (int x = 0; x < front.width(); ++x) {
                    const int drawn = alphaAt(bitmap, x + frontX, y + frontY);
                    if (alphaAt(front, x, y) == 255) {
                        EXPECT_EQ(drawn, 255) << x << "," << y;
                    } else if (alphaAt(shape, x, y) == 255 && alphaAt(front, x, y) == 0) {
                        ++hollow;
                        EXPECT_EQ(drawn, 0) << "back mug showing at " << x << "," << y;
                    }
                }
            }
            EXPECT_EQ(hollow > 0, !filled);

            // Under the front mug the back mug is cleared down to the bottom.
            int cleared = 0;
            for (int x = 0; x < shape.width(); ++x) {
                bool underFront = false;
                for (int y = 0; y < shape.height(); ++y) {
                    underFront = underFront || alphaAt(shape, x, y) == 255;
                }
                for (int y = frontY + shape.height(); underFront && y < bitmap.height(); ++y) {
                    ++cleared;
                    EXPECT_EQ(alphaAt(bitmap, x + frontX, y), 0) << "back mug under the front one at " << x;
                }
            }
            EXPECT_GT(cleared, 0);

            if (!filled) {
                continue;
            }
            // Halfway up the front mug, left to right: the back mug's ink, then about one device
            // pixel of clearance (a little more where the stencil, stamped at sub-pixel offsets,
            // blurs), then the front mug.
            const int row = frontY + front.height() / 2;
            int x = 0;
            while (x < bitmap.width() && alphaAt(bitmap, x, row) < 255) {
                ++x;
            }
            while (x < bitmap.width() && alphaAt(bitmap, x, row) == 255) {
                ++x;
            }
            const int gapStart = x;
            double clearPixels = 0;
            while (x < bitmap.width() && alphaAt(bitmap, x, row) < 255) {
                clearPixels += (255 - alphaAt(bitmap, x, row)) / 255.0;
                ++x;
            }
            ASSERT_LT(x, bitmap.width()) << "no front mug after the back one";
            EXPECT_LE(gapStart, frontX + 2 * scale) << "the back mug ends too early";
            EXPECT_GE(clearPixels, 0.9) << scale << "x";
            EXPECT_LE(clearPixels, 1.6) << scale << "x";
        }
    }
}

TEST(CupGlyphImage, IsSizedFromThePointSizeAndEmptyAtZero) {
    const struct {
        CupGlyph glyph;
        double pointSize;
        QSizeF size;
    } cases[] = {
        {CupGlyph(CupGlyph::Vessel::cup, false), 14.6, {21, 14}},
        {CupGlyph(CupGlyph::Vessel::cup, true), 12, {18, 12}},
        {CupGlyph(CupGlyph::Vessel::doubleMug, true), 15, {19, 14}},
        {CupGlyph(CupGlyph::Vessel::cup, false), 0, {}},
        {CupGlyph(CupGlyph::Vessel::cup, true), 0.5, {}},
        {CupGlyph(CupGlyph::Vessel::doubleMug, false), 0, {}},
        {CupGlyph(CupGlyph::Vessel::cup, true), -3, {}},
    };
    for (const auto& c : cases) {
        const TemplateImage glyphImage = image(c.glyph, c.pointSize);
        EXPECT_EQ(glyphImage.size(), c.size) << c.pointSize;
        EXPECT_EQ(glyphImage.isEmpty(), c.size.isEmpty()) << c.pointSize;
        if (c.size.isEmpty()) {
            EXPECT_TRUE(glyphImage.representation(1).isNull());
        }
    }
}

QGuiApplication& application() {
    static int argc = 1;
    static char name[] = "StaywakeIconTests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return app;
}

TEST(TemplateImage, BecomesOneMaskIconWithBothScales) {
    application();
    const QIcon icon = image(onWithTimer, Qt::LeftToRight).icon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.isMask());
    const QPixmap sharp = icon.pixmap(QSize(27, 18), 2.0);
    EXPECT_EQ(sharp.size(), QSize(54, 36));
    EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_TRUE(image(CupGlyph(CupGlyph::Vessel::cup, false), 0).icon().isNull());

    // Tinted, the ink takes the colour and keeps its coverage.
    const TemplateImage cup = image(on, Qt::LeftToRight);
    const QImage tinted = cup.tinted(QColor(200, 30, 40)).pixmap(QSize(21, 14), 1.0).toImage();
    const QImage ink = cup.representation(1);
    ASSERT_EQ(tinted.size(), ink.size());
    for (int y = 0; y < ink.height(); ++y) {
        for (int x = 0; x < ink.width(); ++x) {
            ASSERT_EQ(qAlpha(tinted.pixel(x, y)), alphaAt(ink, x, y));
            if (alphaAt(ink, x, y) == 255) {
                ASSERT_EQ(QColor(tinted.pixel(x, y)), QColor(200, 30, 40));
            }
        }
    }
}

} // namespace
} // namespace staywake
