#include "StaywakeCore/Wording/AwakeExplanation.h"
#include "StaywakeCore/Wording/AwakeSessionControls.h"

#include <gtest/gtest.h>
#include <optional>
#include <unordered_set>

namespace staywake {
namespace {

const std::optional<Date> noDeadline;
const std::optional<Date> deadline = Date{1'800'000'000};

TEST(AwakeExplanation, SaysWhatTheMachineWillDo) {
    struct Case {
        bool isOn;
        bool keepsLidClosedAwake;
        std::optional<Date> activeUntil;
        AwakeExplanation expected;
        bool promisesLidCloseSleep;
    };
    const Case cases[] = {
        {false, false, noDeadline, AwakeExplanation::sleepsNormally, false},
        {false, false, deadline, AwakeExplanation::sleepsNormally, false},
        {false, true, noDeadline, AwakeExplanation::sleepsNormally, false},
        {false, true, deadline, AwakeExplanation::sleepsNormally, false},
        {true, false, noDeadline, AwakeExplanation::awakeIndefinitely, true},
        {true, false, deadline, AwakeExplanation::awakeUntilSessionEnds, true},
        {true, true, noDeadline, AwakeExplanation::awakeWithLidClosedIndefinitely, false},
        {true, true, deadline, AwakeExplanation::awakeWithLidClosedUntilSessionEnds, false},
        {true, false, Date{0}, AwakeExplanation::awakeUntilSessionEnds,
         true}, // a present date, however early
    };
    for (const auto& c : cases) {
        const auto explanation = AwakeExplanation::describing(c.isOn, c.activeUntil, c.keepsLidClosedAwake);
        EXPECT_EQ(explanation, c.expected) << c.isOn << c.keepsLidClosedAwake << c.activeUntil.has_value();
        EXPECT_EQ(explanation.promisesLidCloseSleep(), c.promisesLidCloseSleep);
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

TEST(AwakeExplanation, IsHashableByCase) {
    const std::unordered_set<AwakeExplanation> explanations{AwakeExplanation::sleepsNormally,
                                                            AwakeExplanation::awakeIndefinitely,
                                                            AwakeExplanation::sleepsNormally};
    EXPECT_EQ(explanations.size(), 2U);
    const std::unordered_set<AwakeSessionControls> controls{AwakeSessionControls::presets,
                                                            AwakeSessionControls::presets};
    EXPECT_EQ(controls.size(), 1U);
}

TEST(AwakeSessionControls, OffersTheTimerControlOnlyWhileATimedSessionRuns) {
    struct Case {
        bool isOn;
        std::optional<Date> activeUntil;
        AwakeSessionControls expected;
    };
    const Case cases[] = {
        {false, noDeadline, AwakeSessionControls::presets},
        {false, deadline, AwakeSessionControls::presets},
        {true, noDeadline, AwakeSessionControls::presets},
        {true, deadline, AwakeSessionControls::cancelTimer},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AwakeSessionControls::shown(c.isOn, c.activeUntil), c.expected)
            << c.isOn << c.activeUntil.has_value();
    }
}

} // namespace
} // namespace staywake
