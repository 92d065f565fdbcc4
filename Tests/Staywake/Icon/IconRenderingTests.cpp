#include "Staywake/Icon/DrawingPainter.h"
#include "Staywake/Icon/GlyphImage.h"
#include "Staywake/Icon/MenuBarIconImage.h"
#include "StaywakeCore/Icon/CupOnLaptop.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

int alphaAt(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)); }

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

TEST(MenuBarIconImage, DrawsEachStateApartWithTheTimerBadgeAboveTheTrailingEnd) {
    std::vector<QImage> drawn;
    for (const MenuBarIcon icon :
         {MenuBarIcon{false, false, false}, MenuBarIcon{true, false, false}, MenuBarIcon{true, true, false},
          MenuBarIcon{true, false, true}, MenuBarIcon{true, true, true}}) {
        drawn.push_back(image(icon, Qt::LeftToRight).representation(2));
        for (const auto direction : {Qt::LeftToRight, Qt::RightToLeft}) {
            const QImage bitmap = image(icon, direction).representation(2);
            // The badge stands taller than the cup or mugs: the top rows hold its ink alone.
            for (int y = 0; icon.showsTimerBadge && y < 3; ++y) {
                for (int x = 0; x < bitmap.width(); ++x) {
                    EXPECT_TRUE(alphaAt(bitmap, x, y) == 0 ||
                                (x > bitmap.width() / 2) == (direction == Qt::LeftToRight))
                        << x << "," << y << " rtl " << direction;
                }
            }
        }
    }
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        for (std::size_t j = i + 1; j < drawn.size(); ++j) {
            EXPECT_NE(drawn[i], drawn[j]) << "states " << i << " and " << j;
        }
    }
}

// The panel tints its glyphs: the tint takes the ink's colour and keeps every pixel's coverage.
TEST(TemplateImage, IsBlackInkThatTintsWithoutLosingCoverage) {
    const TemplateImage cup = image(MenuBarIcon{true, false, false}, Qt::LeftToRight);
    const QImage tinted = cup.tinted(QColor(200, 30, 40)).pixmap(QSize(21, 14), 1.0).toImage();
    const QImage ink = cup.representation(1);
    ASSERT_EQ(tinted.size(), ink.size());
    for (int y = 0; y < ink.height(); ++y) {
        for (int x = 0; x < ink.width(); ++x) {
            ASSERT_EQ(qAlpha(tinted.pixel(x, y)), alphaAt(ink, x, y));
            ASSERT_EQ(ink.pixel(x, y) & 0xFFFFFF, 0U) << "the template's ink is black";
            ASSERT_TRUE(alphaAt(ink, x, y) < 255 || QColor(tinted.pixel(x, y)) == QColor(200, 30, 40));
        }
    }
}

} // namespace
} // namespace staywake
