#include "StaywakeCore/Wording/AwakeExplanation.h"
#include "StaywakeCore/Wording/AwakeSessionControls.h"

#include <gtest/gtest.h>
#include <optional>
#include <unordered_set>

namespace staywake {
namespace {

const std::optional<Date> noDeadline;
const std::optional<Date> deadline = Date{1'800'000'000};

TEST(AwakeExplanation, SaysWhatTheMachineWillDoAndOffersTheTimerControlOnlyWhileATimedSessionRuns) {
    using Controls = AwakeSessionControls;
    struct Case {
        bool isOn;
        bool keepsLidClosedAwake;
        std::optional<Date> activeUntil;
        AwakeExplanation expected;
        bool promisesLidCloseSleep;
        AwakeSessionControls controls;
    };
    const Case cases[] = {
        {false, false, noDeadline, AwakeExplanation::sleepsNormally, false, Controls::presets},
        {false, false, deadline, AwakeExplanation::sleepsNormally, false, Controls::presets},
        {false, true, noDeadline, AwakeExplanation::sleepsNormally, false, Controls::presets},
        {false, true, deadline, AwakeExplanation::sleepsNormally, false, Controls::presets},
        {true, false, noDeadline, AwakeExplanation::awakeIndefinitely, true, Controls::presets},
        {true, false, deadline, AwakeExplanation::awakeUntilSessionEnds, true, Controls::cancelTimer},
        {true, true, noDeadline, AwakeExplanation::awakeWithLidClosedIndefinitely, false, Controls::presets},
        {true, true, deadline, AwakeExplanation::awakeWithLidClosedUntilSessionEnds, false,
         Controls::cancelTimer},
        // A present date, however early, is a deadline.
        {true, false, Date{0}, AwakeExplanation::awakeUntilSessionEnds, true, Controls::cancelTimer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.isOn << c.keepsLidClosedAwake << c.activeUntil.has_value());
        const auto explanation = AwakeExplanation::describing(c.isOn, c.activeUntil, c.keepsLidClosedAwake);
        EXPECT_EQ(explanation, c.expected);
        EXPECT_EQ(explanation.promisesLidCloseSleep(), c.promisesLidCloseSleep);
        EXPECT_EQ(AwakeSessionControls::shown(c.isOn, c.activeUntil), c.controls);
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
