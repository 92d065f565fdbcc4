#include "Staywake/Icon/DrawingPainter.h"
#include "StaywakeCore/Icon/CupOnLaptop.h"

#include <QImage>

#include <gtest/gtest.h>

namespace staywake {
namespace {

PathData rectangle(double left, double bottom, double right, double top) {
    PathData path;
    path.moveTo({left, bottom});
    path.lineTo({right, bottom});
    path.lineTo({right, top});
    path.lineTo({left, top});
    path.closeSubpath();
    return path;
}

QImage canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

TEST(DrawingPainter, TangentArcsRoundCornersInsideTheirOutline) {
    const CupOnLaptop::Placement place({0, 0, CupOnLaptop::boxWidth * 10, CupOnLaptop::boxHeight * 10},
                                       CupOnLaptop::Detail::full, 1);
    const QRectF bounds = DrawingPainter::painterPath(CupOnLaptop::bodyPath(place, 0)).boundingRect();
    EXPECT_NEAR(bounds.left(), place.x(0.1), 1e-9);
    EXPECT_NEAR(bounds.right(), place.x(1.792), 1e-9);
    EXPECT_NEAR(bounds.top(), place.y(0.53), 1e-6);
    EXPECT_NEAR(bounds.bottom(), place.y(1.53), 1e-9);
    // A corner turned the wrong way would bulge out of the polygon through the corner points.
    const QPainterPath rounded = DrawingPainter::painterPath(CupOnLaptop::bodyPath(place, 0));
    const QPointF footMiddle((place.x(0.321) + place.x(1.572)) / 2, place.y(0.53) + 0.01);
    EXPECT_TRUE(rounded.contains(footMiddle));
    EXPECT_FALSE(rounded.contains(QPointF(place.x(1.572) - 0.05, place.y(0.53) + 0.05)));
}

TEST(DrawingPainter, DrawsUpwardsAndClipsUntilTheClipEnds) {
    // Drawing space is y upwards: a fill of the lower half lands in the image's bottom rows.
    Drawing lowerHalf;
    lowerHalf.operations.emplace_back(Drawing::Fill{rectangle(0, 0, 10, 5), Drawing::FillRule::nonZero});
    QImage image = canvas(10, 10);
    {
        QPainter painter(&image);
        DrawingPainter::paint(painter, lowerHalf, QRectF(0, 0, 10, 10));
    }
    EXPECT_EQ(qAlpha(image.pixel(5, 8)), 255);
    EXPECT_EQ(qAlpha(image.pixel(5, 2)), 0);

    // An even-odd clip with a hole keeps ink out of the hole until it ends.
    PathData frameWithHole = rectangle(0, 0, 10, 10);
    frameWithHole.append(rectangle(3, 3, 7, 7));
    Drawing clipped;
    clipped.operations.emplace_back(Drawing::BeginClip{frameWithHole, Drawing::FillRule::evenOdd});
    clipped.operations.emplace_back(Drawing::Fill{rectangle(0, 0, 10, 10), Drawing::FillRule::nonZero});
    clipped.operations.emplace_back(Drawing::EndClip{});
    image = canvas(10, 10);
    {
        QPainter painter(&image);
        DrawingPainter::paint(painter, clipped, QRectF(0, 0, 10, 10));
    }
    EXPECT_EQ(qAlpha(image.pixel(5, 5)), 0);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 255);

    clipped.operations.emplace_back(Drawing::Fill{rectangle(4, 4, 6, 6), Drawing::FillRule::nonZero});
    image = canvas(10, 10);
    {
        QPainter painter(&image);
        DrawingPainter::paint(painter, clipped, QRectF(0, 0, 10, 10));
        // The painter comes back as it was given.
        EXPECT_FALSE(painter.hasClipping());
        EXPECT_TRUE(painter.transform().isIdentity());
    }
    EXPECT_EQ(qAlpha(image.pixel(5, 5)), 255);
    EXPECT_EQ(qAlpha(image.pixel(3, 3)), 0);
}

TEST(DrawingPainter, PlacesAFrameOnACanvasFromItsBottom) {
    EXPECT_EQ(DrawingPainter::canvasRect({2, 3, 8, 8}, 18), QRectF(2, 7, 8, 8));
    EXPECT_EQ(DrawingPainter::canvasRect({0, 0, 21, 14}, 14), QRectF(0, 0, 21, 14));
}

} // namespace
} // namespace staywake
