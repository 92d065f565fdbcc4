#include "StaywakeCore/Icon/CupOnLaptop.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <variant>

namespace staywake {
namespace {

using CupOnLaptop::Detail;

PathRect rectOfHeight(double height) { return {0, 0, height * CupOnLaptop::aspect, height}; }

TEST(CupOnLaptop, DetailFollowsTheHeightInDevicePixels) {
    const std::pair<double, Detail> cases[] = {
        {7.99, Detail::blunt}, {8, Detail::plain}, {27.9, Detail::plain}, {27.95, Detail::full}};
    for (const auto& [pixels, expected] : cases) {
        EXPECT_EQ(CupOnLaptop::detail(pixels), expected) << pixels;
    }
}

// What the laptop is drawn as: the last operation of the drawing.
enum class Laptop { filledSlab, filledBaseAndLid, outlinedSlab };

Laptop laptopOf(const Drawing& drawing) {
    const auto& last = drawing.operations.back();
    if (const auto* fill = std::get_if<Drawing::Fill>(&last)) {
        const auto subpaths = std::ranges::count_if(fill->path.commands(), [](const auto& command) {
            return std::holds_alternative<PathData::MoveTo>(command);
        });
        return subpaths == 2 ? Laptop::filledBaseAndLid : Laptop::filledSlab;
    }
    EXPECT_TRUE(std::holds_alternative<Drawing::Stroke>(last));
    return Laptop::outlinedSlab;
}

TEST(CupOnLaptop, LaptopIsSolidUntilItsHollowWouldShow) {
    // Under an outlined cup the slab is solid until its hollow would reach 2.5 device pixels (about 38);
    // under a solid cup it is one slab up to full detail, then base and lid.
    const std::tuple<bool, double, double, Laptop> cases[] = {
        {false, 14, 2, Laptop::filledSlab},     {false, 37, 1, Laptop::filledSlab},
        {false, 38.1, 1, Laptop::outlinedSlab}, {false, 20, 2, Laptop::outlinedSlab},
        {true, 14, 1, Laptop::filledSlab},      {true, 14, 2, Laptop::filledBaseAndLid},
    };
    for (const auto& [filled, height, scale, expected] : cases) {
        const Drawing drawing =
            CupOnLaptop::drawing(filled, rectOfHeight(height), CupOnLaptop::detail(height * scale), scale);
        EXPECT_EQ(laptopOf(drawing), expected) << filled << " " << height << "@" << scale;
    }
    EXPECT_LT(CupOnLaptop::drawing(false, rectOfHeight(7), Detail::blunt, 1).operations.size(),
              CupOnLaptop::drawing(false, rectOfHeight(7), Detail::plain, 1).operations.size())
        << "blunt drops the handle";
}

} // namespace
} // namespace staywake
