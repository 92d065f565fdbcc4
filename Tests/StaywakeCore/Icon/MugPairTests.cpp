#include "StaywakeCore/Icon/DrawnSymbol.h"
#include "StaywakeCore/Icon/MugPair.h"

#include <cmath>
#include <gtest/gtest.h>
#include <tuple>

namespace staywake {
namespace {

TEST(MugPair, KnockoutGrowsTheFrontMugByTheGapThenSweepsItDown) {
    const auto plain = MugPair::knockout(12, 0);
    EXPECT_EQ(plain, (std::vector<PathPoint>{{0, 0}, {0, -6}, {0, -9}, {0, -12}}));

    const auto grown = MugPair::knockout(12, 0.5);
    ASSERT_EQ(grown.size(), 1u + 12u + 3u);
    EXPECT_EQ(grown.front(), (PathPoint{0, 0}));
    for (std::size_t k = 1; k <= 12; ++k) {
        EXPECT_NEAR(std::hypot(grown[k].x, grown[k].y), 0.5, 1e-12) << k;
    }
    EXPECT_NEAR(grown[1].x, 0.5, 1e-12);
    EXPECT_NEAR(grown[4].y, 0.5, 1e-12); // a quarter turn
    EXPECT_EQ(grown[13], (PathPoint{-0.5, -6}));
    EXPECT_EQ(grown[15], (PathPoint{-0.5, -12}));
}

TEST(MugPair, GapIsOneDevicePixelOnlyWhenFilled) {
    for (const auto& [filled, scale, gap] :
         {std::tuple{true, 1.0, 1.0}, {true, 2.0, 0.5}, {true, 0.0, 1.0}, {false, 2.0, 0.0}}) {
        EXPECT_EQ(MugPair::gap(filled, scale), gap) << filled << " @" << scale;
    }
    EXPECT_EQ(MugPair::dilation(0), (std::vector<PathPoint>{{0, 0}}));
}

TEST(MugPair, SmallerMugIsTheFirstHalfPointSizeClearlyLower) {
    const auto mug = DrawnSymbol::named("mug");
    ASSERT_TRUE(mug);
    const auto heightAt = [&](double size) { return mug->size(size).height; };
    // 15 points: the pair is 14 high, the target 14 - round(1.68) = 12, first met at 13 points.
    EXPECT_EQ(MugPair::mugPointSize(15, heightAt(15), heightAt), 13.0);
    // A symbol that never gets small enough gives nothing, and the search stops at 1.
    int asked = 0;
    EXPECT_FALSE(MugPair::mugPointSize(3, 10, [&](double) {
        ++asked;
        return 100.0;
    }));
    EXPECT_EQ(asked, 5); // 3, 2.5, 2, 1.5, 1
}

TEST(MugPair, FrontMugStandsRaisedAtNearlyHalfTheMugsWidth) {
    const auto layout = MugPair::layout({13, 12}, 14);
    EXPECT_EQ(layout.canvas, (PathSize{19, 14}));
    EXPECT_EQ(layout.back, (PathPoint{0, 0}));
    EXPECT_EQ(layout.front, (PathPoint{6, 2}));
}

TEST(DrawnSymbol, DrawsOnlyTheSymbolsTheGlyphsUse) {
    const struct {
        const char* name;
        double pointSize;
        PathSize size;
    } cases[] = {{"mug", 15, {16, 14}}, {"mug.fill", 13, {13, 12}}, {"clock.fill", 8, {8, 8}}, {"mug", 0, {0, 0}}};
    for (const auto& c : cases) {
        const auto symbol = DrawnSymbol::named(c.name);
        ASSERT_TRUE(symbol) << c.name;
        EXPECT_EQ(symbol->size(c.pointSize), c.size) << c.name << " " << c.pointSize;
    }
    EXPECT_FALSE(DrawnSymbol::named("clock"));
    EXPECT_FALSE(DrawnSymbol::named("cup.and.saucer"));
}

} // namespace
} // namespace staywake
