#include "StaywakeCore/Wording/FailureSentence.h"

#include <gtest/gtest.h>
#include <string>

namespace staywake {
namespace {

TEST(FailureSentence, WordsEveryFailureWithItsArgumentOrVerbatim) {
    const std::string nightBrew = LocalizableText::nightBrewTable;
    const std::string verbatim = FailureSentence::verbatimTable;
    const struct {
        AwakeFailure failure;
        std::string table;
        std::string english;
    } cases[] = {
        {AwakeFailure::assertionRefused(-2147483647 - 1), LocalizableText::defaultTable,
         "macOS couldn't keep your Mac awake (IOKit error -2147483648)."},
        {AwakeFailure::reported("Disk full: %1"), verbatim, "Disk full: %1"},
        {AwakeFailure::lidHelperUnavailable(), nightBrew,
         "Night Brew can't start because its helper is unavailable."},
        {AwakeFailure::lidHelperRefused(LidHelperRefusal::settingUnreadable("exit 3")), nightBrew,
         "Night Brew can't start because its helper couldn't read the sleep setting, so nothing was changed "
         "(exit 3)."},
        {AwakeFailure::lidHelperRefused(LidHelperRefusal::settingNotPutBack("")), nightBrew,
         "Your Mac may stay awake with the lid closed. Night Brew's helper couldn't restore the sleep "
         "setting and "
         "is still trying ()."},
        // A reason this version does not know is shown word for word.
        {AwakeFailure::lidHelperRefused(LidHelperRefusal("The moon is full (%1).")), verbatim,
         "The moon is full (%1)."},
        {AwakeFailure::lidHelperRefused(LidHelperRefusal(LidHelperRefusal::settingTurnedOffElsewhereText)),
         nightBrew,
         "Night Brew stopped because something other than Staywake changed the sleep setting. Closing the "
         "lid "
         "works as usual again."},
    };
    for (const auto& each : cases) {
        const LocalizableText sentence = FailureSentence::of(each.failure);
        EXPECT_EQ(sentence.table, each.table) << each.english;
        EXPECT_EQ(sentence.english(), each.english);
    }
}

} // namespace
} // namespace staywake
