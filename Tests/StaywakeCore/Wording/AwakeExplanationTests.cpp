#include "StaywakeCore/Icon/MenuBarIcon.h"
#include "StaywakeCore/Wording/AwakeExplanation.h"
#include "StaywakeCore/Wording/AwakeSessionControls.h"
#include "StaywakeCore/Wording/FailureSentence.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

// While off, neither the lid nor a leftover deadline counts.
TEST(AwakeExplanation, SaysWhatTheMachineWillDoAndOffersTheTimerControlOnlyWhileATimedSessionRuns) {
    using Label = MenuBarIcon::SpokenLabel;
    using E = AwakeExplanation;
    const std::optional<Date> none;
    const std::optional<Date> deadline = Date{1'800'000'000};
    const std::tuple<bool, bool, std::optional<Date>, AwakeExplanation, Label> cases[] = {
        // on, lid, deadline
        {false, false, deadline, E::sleepsNormally, Label::off},
        {false, true, deadline, E::sleepsNormally, Label::off},
        {true, false, none, E::awakeIndefinitely, Label::on},
        {true, false, deadline, E::awakeUntilSessionEnds, Label::onWithTimerRunning},
        {true, true, none, E::awakeWithLidClosedIndefinitely, Label::onWithLidClosed},
        {true, true, deadline, E::awakeWithLidClosedUntilSessionEnds, Label::onWithLidClosedAndTimerRunning},
        {true, false, Date{0}, E::awakeUntilSessionEnds, Label::onWithTimerRunning}, // however early, a deadline
    };
    for (const auto& [isOn, lid, activeUntil, expected, label] : cases) {
        const auto explanation = AwakeExplanation::describing(isOn, activeUntil, lid);
        EXPECT_EQ(explanation, expected);
        EXPECT_EQ(explanation.promisesLidCloseSleep(), isOn && !lid);
        EXPECT_EQ(explanation.sentence().table, isOn && lid ? "NightBrew" : "Localizable");
        const bool timed = isOn && activeUntil;
        EXPECT_EQ(AwakeSessionControls::shown(isOn, activeUntil),
                  timed ? AwakeSessionControls::cancelTimer : AwakeSessionControls::presets);
        const auto icon = MenuBarIcon::current(isOn, activeUntil, lid);
        EXPECT_EQ(icon.spokenLabel(), label);
        // The badge and the mug pair show exactly when the label names them.
        EXPECT_EQ(icon.showsTimerBadge, timed);
        EXPECT_EQ(icon.keepsLidClosedAwake, isOn && lid);
        EXPECT_EQ(icon.glyph(), CupGlyph(isOn && lid ? CupGlyph::Vessel::doubleMug : CupGlyph::Vessel::cup, isOn));
    }
}

TEST(FailureSentence, WordsEveryFailureWithItsArgumentOrVerbatim) {
    const std::string nightBrew = LocalizableText::nightBrewTable;
    const std::string verbatim = FailureSentence::verbatimTable;
    const std::tuple<AwakeFailure, std::string, std::string> cases[] = {
        {AwakeFailure::assertionRefused(-2147483647 - 1), LocalizableText::defaultTable,
         "macOS couldn't keep your Mac awake (IOKit error -2147483648)."},
        {AwakeFailure::reported("Disk full: %1"), verbatim, "Disk full: %1"},
        {AwakeFailure::lidHelperUnavailable(), nightBrew,
         "Night Brew can't start because its helper is unavailable."},
        {AwakeFailure::lidHelperRefused(LidHelperRefusal::settingUnreadable("exit 3")), nightBrew,
         "Night Brew can't start because its helper couldn't read the sleep setting, so nothing was changed "
         "(exit 3)."},
        // A reason this version does not know is shown word for word.
        {AwakeFailure::lidHelperRefused(LidHelperRefusal("The moon is full (%1).")), verbatim,
         "The moon is full (%1)."},
    };
    for (const auto& [failure, table, english] : cases) {
        const LocalizableText sentence = FailureSentence::of(failure);
        EXPECT_EQ(std::pair(sentence.table, sentence.english()), std::pair(table, english));
    }
}

} // namespace
} // namespace staywake
