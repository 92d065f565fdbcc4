#include "StaywakeCore/Icon/MenuBarIcon.h"
#include "StaywakeCore/Wording/AwakeExplanation.h"
#include "StaywakeCore/Wording/AwakeSessionControls.h"

#include <gtest/gtest.h>
#include <optional>

namespace staywake {
namespace {

const std::optional<Date> noDeadline;
const std::optional<Date> deadline = Date{1'800'000'000};

// What the session's state shows: the explanation, the session controls and the
// menu-bar icon (whose label names the icon drawn, see MenuBarIcon's tests).
// While off, neither the lid nor a leftover deadline counts.
TEST(AwakeExplanation, SaysWhatTheMachineWillDoAndOffersTheTimerControlOnlyWhileATimedSessionRuns) {
    using Controls = AwakeSessionControls;
    using Label = MenuBarIcon::SpokenLabel;
    const struct {
        bool isOn;
        bool lid;
        std::optional<Date> activeUntil;
        AwakeExplanation explanation;
        bool promisesLidCloseSleep;
        Controls controls;
        Label label;
    } cases[] = {
        {false, false, noDeadline, AwakeExplanation::sleepsNormally, false, Controls::presets, Label::off},
        {false, false, deadline, AwakeExplanation::sleepsNormally, false, Controls::presets, Label::off},
        {false, true, noDeadline, AwakeExplanation::sleepsNormally, false, Controls::presets, Label::off},
        {false, true, deadline, AwakeExplanation::sleepsNormally, false, Controls::presets, Label::off},
        {true, false, noDeadline, AwakeExplanation::awakeIndefinitely, true, Controls::presets, Label::on},
        {true, false, deadline, AwakeExplanation::awakeUntilSessionEnds, true, Controls::cancelTimer,
         Label::onWithTimerRunning},
        {true, true, noDeadline, AwakeExplanation::awakeWithLidClosedIndefinitely, false, Controls::presets,
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
        EXPECT_EQ(AwakeSessionControls::shown(c.isOn, c.activeUntil), c.controls);
        const auto icon = MenuBarIcon::current(c.isOn, c.activeUntil, c.lid);
        EXPECT_EQ(icon.spokenLabel(), c.label);
        // The badge and the mug pair show exactly when the label names them.
        EXPECT_EQ(icon.showsTimerBadge,
                  c.label == Label::onWithTimerRunning || c.label == Label::onWithLidClosedAndTimerRunning);
        EXPECT_EQ(icon.keepsLidClosedAwake,
                  c.label == Label::onWithLidClosed || c.label == Label::onWithLidClosedAndTimerRunning);
    }
}

TEST(AwakeExplanation, TakesItsSentenceFromTheRightTable) {
    struct Case {
        AwakeExplanation explanation;
        LocalizableText sentence;
    };
    const Case cases[] = {
        {AwakeExplanation::sleepsNormally, LocalizableText::localizable("Your Mac can sleep as usual.")},
        {AwakeExplanation::awakeIndefinitely,
         LocalizableText::localizable(
             "Your Mac won't fall asleep on its own. Closing the lid still puts it to sleep.")},
        {AwakeExplanation::awakeUntilSessionEnds,
         LocalizableText::localizable(
             "Your Mac won't fall asleep until the session ends. Closing the lid still puts it to sleep.")},
        {AwakeExplanation::awakeWithLidClosedIndefinitely,
         LocalizableText::nightBrew("Your Mac won't fall asleep, even with the lid closed.")},
        {AwakeExplanation::awakeWithLidClosedUntilSessionEnds,
         LocalizableText::nightBrew(
             "Your Mac won't fall asleep until the session ends, even with the lid closed.")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.explanation.sentence(), c.sentence);
    }
    EXPECT_EQ(LocalizableText::nightBrew("x").table, "NightBrew");
    EXPECT_EQ(LocalizableText::localizable("x").table, "Localizable");
}

} // namespace
} // namespace staywake
