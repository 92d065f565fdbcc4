#include "StaywakeCore/Update/SoftwareVersion.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(SoftwareVersion, OrdersNumbersNumericallyAndPreReleasesBeforeTheirRelease) {
    // Each pair is older < newer; both directions are checked.
    const std::pair<const char*, const char*> ascending[] = {
        {"1.2", "1.2.1"},   {"1.2b3", "1.2"},    {"1.9", "1.10"},
        {"1.2a9", "1.2b1"}, {"1.2b3", "1.2b10"}, {"1.2rc1", "1.2.1"},
        {"2", "10"},        {"1.0.0", "1.0.1"},  {"99999999999999999999", "100000000000000000000"},
    };
    for (const auto& [older, newer] : ascending) {
        EXPECT_EQ(SoftwareVersion::compare(older, newer), std::strong_ordering::less) << older << " < " << newer;
        EXPECT_EQ(SoftwareVersion::compare(newer, older), std::strong_ordering::greater)
            << newer << " > " << older;
    }
    const std::pair<const char*, const char*> same[] = {
        {"1.2", "1.2.0"}, {"1.02", "1.2"}, {"1-2", "1.2"}, {"", "0"}};
    for (const auto& [a, b] : same) {
        EXPECT_EQ(SoftwareVersion::compare(a, b), std::strong_ordering::equal) << a << " == " << b;
    }
}

} // namespace
} // namespace staywake
