#include "Staywake/Icon/DrawingPainter.h"
#include "Staywake/Icon/GlyphImage.h"
#include "Staywake/Icon/MenuBarIconImage.h"
#include "StaywakeCore/Icon/CupOnLaptop.h"
#include "StaywakeCore/Icon/DrawnSymbol.h"
#include "StaywakeCore/Icon/MugPair.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace staywake {
namespace {

int alphaAt(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)); }

// Calls `visit` with every pixel's centre in points, y upwards, as the drawing space sees it.
void forEachPixel(const QImage& image, const std::function<void(int, int, PathPoint)>& visit) {
    const double scale = image.devicePixelRatio();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            visit(x, y, PathPoint{(x + 0.5) / scale, (image.height() - y - 0.5) / scale});
        }
    }
}

PathData rectangle(double left, double bottom, double right, double top) {
    PathData path;
    path.moveTo({left, bottom});
    path.lineTo({right, bottom});
    path.lineTo({right, top});
    path.lineTo({left, top});
    path.closeSubpath();
    return path;
}

QImage painted(const Drawing& drawing) {
    QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawingPainter::paint(painter, drawing, QRectF(0, 0, 10, 10));
    // The painter comes back as it was given.
    EXPECT_FALSE(painter.hasClipping());
    EXPECT_TRUE(painter.transform().isIdentity());
    return image;
}

TEST(DrawingPainter, DrawsUpwardsClipsUntilTheClipEndsAndTurnsArcsInward) {
    // Drawing space is y upwards: a fill of the lower half lands in the image's bottom rows.
    Drawing drawing;
    drawing.operations.emplace_back(Drawing::Fill{rectangle(0, 0, 10, 5), Drawing::FillRule::nonZero});
    QImage image = painted(drawing);
    EXPECT_EQ(alphaAt(image, 5, 8), 255);
    EXPECT_EQ(alphaAt(image, 5, 2), 0);

    // An even-odd clip with a hole keeps ink out of the hole until it ends.
    PathData frameWithHole = rectangle(0, 0, 10, 10);
    frameWithHole.append(rectangle(3, 3, 7, 7));
    drawing.operations = {Drawing::BeginClip{frameWithHole, Drawing::FillRule::evenOdd},
                          Drawing::Fill{rectangle(0, 0, 10, 10), Drawing::FillRule::nonZero}, Drawing::EndClip{},
                          Drawing::Fill{rectangle(4, 4, 6, 6), Drawing::FillRule::nonZero}};
    image = painted(drawing);
    EXPECT_EQ(alphaAt(image, 1, 1), 255);
    EXPECT_EQ(alphaAt(image, 3, 3), 0);
    EXPECT_EQ(alphaAt(image, 5, 5), 255);

    // A corner turned the wrong way would bulge out of the polygon through the corner points.
    const CupOnLaptop::Placement place({0, 0, CupOnLaptop::boxWidth * 10, CupOnLaptop::boxHeight * 10},
                                       CupOnLaptop::Detail::full, 1);
    const QPainterPath body = DrawingPainter::painterPath(CupOnLaptop::bodyPath(place, 0));
    EXPECT_TRUE(body.contains(QPointF((place.x(0.321) + place.x(1.572)) / 2, place.y(0.53) + 0.01)));
    EXPECT_FALSE(body.contains(QPointF(place.x(1.572) - 0.05, place.y(0.53) + 0.05)));
}

// The pixels whose centres lie inside the cup's body, clear of the stroke and its antialiasing.
struct Interior {
    int pixels = 0;
    int inked = 0;
    int opaque = 0;
};

Interior cupInterior(const QImage& image, QSizeF points, double scale) {
    const CupOnLaptop::Placement place(DrawingPainter::drawingRect(QRectF(QPointF(0, 0), points)),
                                       CupOnLaptop::detail(points.height() * scale), scale);
    const QPainterPath inside = DrawingPainter::painterPath(
        CupOnLaptop::bodyPath(place, 1.2 * CupOnLaptop::lineWidth + 1.5 / (scale * place.unit)));
    Interior result;
    forEachPixel(image, [&](int x, int y, PathPoint centre) {
        if (inside.contains(QPointF(centre.x, centre.y))) {
            ++result.pixels;
            result.inked += alphaAt(image, x, y) > 0 ? 1 : 0;
            result.opaque += alphaAt(image, x, y) == 255 ? 1 : 0;
        }
    });
    return result;
}

TEST(CupGlyphImage, TheOutlinedCupIsEmptyInsideAndTheSolidOneFull) {
    for (const double pointSize : {12.0, 14.6, 17.0, 26.0, 48.0, 100.0}) {
        const TemplateImage outlined = image(CupGlyph(CupGlyph::Vessel::cup, false), pointSize);
        const TemplateImage solid = image(CupGlyph(CupGlyph::Vessel::cup, true), pointSize);
        for (const int scale : {1, 2}) {
            const Interior empty = cupInterior(outlined.representation(scale), outlined.size(), scale);
            const Interior full = cupInterior(solid.representation(scale), outlined.size(), scale);
            EXPECT_GT(empty.pixels, 4) << pointSize << "@" << scale;
            EXPECT_EQ(empty.inked, 0) << pointSize << "@" << scale;
            EXPECT_EQ(full.opaque, full.pixels) << pointSize << "@" << scale;
        }
    }
    const QImage offIcon = image(MenuBarIcon{false, false, false}, Qt::LeftToRight).representation(1);
    EXPECT_EQ(cupInterior(offIcon, {21, 14}, 1).inked, 0) << "the menu-bar icon is outlined while off";
}

TEST(CupGlyphImage, IsSizedFromThePointSizeAndEmptyBelowAPoint) {
    const std::tuple<CupGlyph, double, QSizeF> cases[] = {
        {CupGlyph(CupGlyph::Vessel::cup, false), 14.6, {21, 14}},
        {CupGlyph(CupGlyph::Vessel::doubleMug, true), 15, {19, 14}},
        {CupGlyph(CupGlyph::Vessel::cup, true), 0.5, {}}};
    for (const auto& [glyph, pointSize, size] : cases) {
        EXPECT_EQ(image(glyph, pointSize).size(), size) << pointSize;
        EXPECT_EQ(image(glyph, pointSize).representation(1).isNull(), size.isEmpty()) << pointSize;
    }
}

TEST(MenuBarIconImage, TheBadgeStandsInAClearedRingAtTheTrailingEdge) {
    const int scale = 2;
    for (const MenuBarIcon icon : {MenuBarIcon{true, true, false}, MenuBarIcon{true, true, true}}) {
        for (const auto direction : {Qt::LeftToRight, Qt::RightToLeft}) {
            const TemplateImage base = image(MenuBarIcon{icon.isOn, false, icon.keepsLidClosedAwake}, direction);
            const auto badge = symbolImage("clock.fill", MenuBarIcon::badgePointSize);
            const auto layout =
                icon.badgeLayout({base.size().width(), base.size().height()},
                                 {badge->size().width(), badge->size().height()}, direction == Qt::RightToLeft);
            const QImage composite = image(icon, direction).representation(scale);
            const QImage baseBitmap = base.representation(scale);
            const QImage badgeBitmap = badge->representation(scale);
            const PathPoint badgeCentre{layout.badge.x + layout.badge.width / 2,
                                        layout.badge.y + layout.badge.height / 2};
            const double badgeRadius = layout.badge.width / 2;
            const double clearedRadius = layout.clearedOval.width / 2;

            int ringInkInBase = 0;
            forEachPixel(composite, [&](int x, int y, PathPoint centre) {
                const double fromBadge = std::hypot(centre.x - badgeCentre.x, centre.y - badgeCentre.y);
                const int alpha = alphaAt(composite, x, y);
                const QPoint inBase(x - static_cast<int>(layout.base.x * scale),
                                    y - static_cast<int>((layout.canvas.height - layout.base.maxY()) * scale));
                const int baseAlpha =
                    baseBitmap.rect().contains(inBase) ? alphaAt(baseBitmap, inBase.x(), inBase.y()) : 0;
                if (fromBadge > badgeRadius + 0.5 && fromBadge < clearedRadius - 0.5) {
                    EXPECT_EQ(alpha, 0) << "ring pixel " << x << "," << y << " rtl " << direction;
                    ringInkInBase += baseAlpha > 0 ? 1 : 0;
                } else if (fromBadge < badgeRadius - 0.5) {
                    EXPECT_EQ(alpha, alphaAt(badgeBitmap, x - static_cast<int>(layout.badge.x * scale), y))
                        << "badge pixel " << x << "," << y;
                } else if (fromBadge > clearedRadius + 0.5) {
                    EXPECT_EQ(alpha, baseAlpha) << "base pixel " << x << "," << y;
                }
            });
            EXPECT_GT(ringInkInBase, 0) << "the ring clears nothing the base draws";
        }
    }
}

TEST(MugPairImage, TheFrontMugIsCutCleanlyOutOfTheBackOne) {
    const auto mugSize = DrawnSymbol::named("mug")->size(13);
    const auto layout = MugPair::layout(mugSize, 14);
    for (const bool filled : {false, true}) {
        const TemplateImage pair = mugPairImage(15, filled);
        const auto mug = symbolImage(filled ? "mug.fill" : "mug", 13);
        const auto stencil = symbolImage("mug.fill", 13);
        for (const int scale : {1, 2}) {
            SCOPED_TRACE(std::string(filled ? "filled" : "outlined") + " @" + std::to_string(scale));
            const QImage bitmap = pair.representation(scale);
            const QImage front = mug->representation(scale);
            const QImage shape = stencil->representation(scale);
            const int frontX = static_cast<int>(layout.front.x * scale);
            const int frontY = static_cast<int>((layout.canvas.height - layout.front.y - mugSize.height) * scale);

            // The front mug is drawn whole; where it is hollow, and under it down to the
            // bottom, nothing of the back mug shows.
            int hollow = 0;
            int cleared = 0;
            for (int x = 0; x < shape.width(); ++x) {
                bool underFront = false;
                for (int y = 0; y < shape.height(); ++y) {
                    const int drawn = alphaAt(bitmap, x + frontX, y + frontY);
                    underFront = underFront || alphaAt(shape, x, y) == 255;
                    if (alphaAt(front, x, y) == 255) {
                        EXPECT_EQ(drawn, 255) << x << "," << y;
                    } else if (alphaAt(shape, x, y) == 255 && alphaAt(front, x, y) == 0) {
                        ++hollow;
                        EXPECT_EQ(drawn, 0) << "back mug showing at " << x << "," << y;
                    }
                }
                for (int y = frontY + shape.height(); underFront && y < bitmap.height(); ++y, ++cleared) {
                    EXPECT_EQ(alphaAt(bitmap, x + frontX, y), 0) << "back mug under the front one at " << x;
                }
            }
            EXPECT_EQ(hollow > 0, !filled);
            EXPECT_GT(cleared, 0);
        }
    }
}

// The panel tints its glyphs: the tint takes the ink's colour and keeps every pixel's coverage.
TEST(TemplateImage, IsBlackInkThatTintsWithoutLosingCoverage) {
    const TemplateImage cup = image(MenuBarIcon{true, false, false}, Qt::LeftToRight);
    const QImage tinted = cup.tinted(QColor(200, 30, 40)).pixmap(QSize(21, 14), 1.0).toImage();
    const QImage ink = cup.representation(1);
    ASSERT_EQ(tinted.size(), ink.size());
    forEachPixel(ink, [&](int x, int y, PathPoint) {
        ASSERT_EQ(qAlpha(tinted.pixel(x, y)), alphaAt(ink, x, y));
        ASSERT_EQ(ink.pixel(x, y) & 0xFFFFFF, 0U) << "the template's ink is black";
        ASSERT_TRUE(alphaAt(ink, x, y) < 255 || QColor(tinted.pixel(x, y)) == QColor(200, 30, 40));
    });
}

} // namespace
} // namespace staywake
