#include "StaywakeCore/Wording/LocalizableText.h"

#include <gtest/gtest.h>
#include <string>

namespace staywake {
namespace {

TEST(LocalizableText, FillsInArgumentsInOnePass) {
    struct Case {
        std::string key;
        std::vector<std::string> arguments;
        std::string english;
    };
    const Case cases[] = {
        {"Staywake, on", {}, "Staywake, on"},
        {"On \u00B7 %1 left", {"59:59"}, "On \u00B7 59:59 left"},
        {"%2 then %1", {"a", "b"}, "b then a"},
        {"%1 left", {"100%2 %1"}, "100%2 %1 left"}, // an argument is never scanned again
        {"%1 and %2", {"only"}, "only and %2"},     // a marker without an argument stays
        {"50% done, %", {}, "50% done, %"},
        {"%0 %1", {"x"}, "%0 x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LocalizableText::localizable(c.key, c.arguments).english(), c.english) << c.key;
    }
}

} // namespace
} // namespace staywake
