#include "StaywakeCore/Icon/MenuBarIcon.h"
#include "StaywakeCore/Wording/AwakeExplanation.h"
#include "StaywakeCore/Wording/AwakeSessionControls.h"
#include "StaywakeCore/Wording/FailureSentence.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

// What the session's state shows: the explanation (and the table its sentence
// comes from), the session controls and the menu-bar icon. While off, neither
// the lid nor a leftover deadline counts.
TEST(AwakeExplanation, SaysWhatTheMachineWillDoAndOffersTheTimerControlOnlyWhileATimedSessionRuns) {
    using Controls = AwakeSessionControls;
    using Label = MenuBarIcon::SpokenLabel;
    const std::optional<Date> none;
    const std::optional<Date> deadline = Date{1'800'000'000};
    const struct {
        bool isOn;
        bool lid;
        std::optional<Date> activeUntil;
        AwakeExplanation explanation;
        bool promisesLidCloseSleep;
        Controls controls;
        Label label;
    } cases[] = {
        {false, false, deadline, AwakeExplanation::sleepsNormally, false, Controls::presets, Label::off},
        {false, true, none, AwakeExplanation::sleepsNormally, false, Controls::presets, Label::off},
        {false, true, deadline, AwakeExplanation::sleepsNormally, false, Controls::presets, Label::off},
        {true, false, none, AwakeExplanation::awakeIndefinitely, true, Controls::presets, Label::on},
        {true, false, deadline, AwakeExplanation::awakeUntilSessionEnds, true, Controls::cancelTimer,
         Label::onWithTimerRunning},
        {true, true, none, AwakeExplanation::awakeWithLidClosedIndefinitely, false, Controls::presets,
         Label::onWithLidClosed},
        {true, true, deadline, AwakeExplanation::awakeWithLidClosedUntilSessionEnds, false, Controls::cancelTimer,
         Label::onWithLidClosedAndTimerRunning},
        // A present date, however early, is a deadline.
        {true, false, Date{0}, AwakeExplanation::awakeUntilSessionEnds, true, Controls::cancelTimer,
         Label::onWithTimerRunning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.isOn << c.lid << c.activeUntil.has_value());
        const auto explanation = AwakeExplanation::describing(c.isOn, c.activeUntil, c.lid);
        EXPECT_EQ(explanation, c.explanation);
        EXPECT_EQ(explanation.promisesLidCloseSleep(), c.promisesLidCloseSleep);
        EXPECT_EQ(explanation.sentence().table, c.isOn && c.lid ? "NightBrew" : "Localizable");
        EXPECT_EQ(AwakeSessionControls::shown(c.isOn, c.activeUntil), c.controls);
        const auto icon = MenuBarIcon::current(c.isOn, c.activeUntil, c.lid);
        EXPECT_EQ(icon.spokenLabel(), c.label);
        // The badge and the mug pair show exactly when the label names them.
        EXPECT_EQ(icon.showsTimerBadge, c.isOn && c.activeUntil);
        EXPECT_EQ(icon.keepsLidClosedAwake, c.isOn && c.lid);
        EXPECT_EQ(icon.glyph(),
                  CupGlyph(c.isOn && c.lid ? CupGlyph::Vessel::doubleMug : CupGlyph::Vessel::cup, c.isOn));
    }
}

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
        // A reason this version does not know is shown word for word.
        {AwakeFailure::lidHelperRefused(LidHelperRefusal("The moon is full (%1).")), verbatim,
         "The moon is full (%1)."},
    };
    for (const auto& each : cases) {
        const LocalizableText sentence = FailureSentence::of(each.failure);
        EXPECT_EQ(sentence.table, each.table) << each.english;
        EXPECT_EQ(sentence.english(), each.english);
    }
}

} // namespace
} // namespace staywake
