#include "StaywakeCore/Awake/LidHelperRefusal.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace staywake {
namespace {

using Kind = LidHelperRefusal::Kind;
const std::string replacement = "\xef\xbf\xbd";

TEST(LidHelperRefusal, EveryHelperTextReadsAsItsCaseAndTurnsBackIntoTheSameText) {
    struct Case {
        std::string text;
        Kind kind;
        std::optional<std::string> detail;
    };
    const std::vector<Case> cases = {
        {"The lease deadline is not a number.", Kind::deadlineNotANumber, std::nullopt},
        {"The sleep setting is already on, set by something other than Staywake, and was left as it is.",
         Kind::settingOnElsewhere, std::nullopt},
        {"The sleep setting was turned off by something other than Staywake, and was left off.",
         Kind::settingTurnedOffElsewhere, std::nullopt},
        {"The sleep setting could not be read, so it was left as it is: pmset did not answer in time.",
         Kind::settingUnreadable, "pmset did not answer in time."},
        {"The sleep setting could not be written: pmset exited with status 1.", Kind::settingUnwritten,
         "pmset exited with status 1."},
        {"The sleep setting could not be put back, and the helper is still trying: busy", Kind::settingNotPutBack,
         "busy"},
        {"The sleep setting could not be put back, and the helper is still trying: ", Kind::settingNotPutBack, ""},
        // A detail may itself look like a reply: only the first prefix counts.
        {"The sleep setting could not be written: The lease deadline is not a number.", Kind::settingUnwritten,
         "The lease deadline is not a number."},
        {"Schlafmodus: ungültig – «nein» 🙃", Kind::unrecognized, std::nullopt},
        {"", Kind::unrecognized, std::nullopt},
        // Near misses are unrecognized and keep their whole text.
        {" The sleep setting could not be written: pmset failed", Kind::unrecognized, std::nullopt},
        {"The lease deadline is not a number. ", Kind::unrecognized, std::nullopt},
        {"the lease deadline is not a number.", Kind::unrecognized, std::nullopt},
        {std::string("The lease deadline is not a number.\0", 36), Kind::unrecognized, std::nullopt},
        {"The sleep setting could not be written:", Kind::unrecognized, std::nullopt},
        {"The sleep setting could not be written:pmset failed", Kind::unrecognized, std::nullopt},
    };
    for (const auto& reply : cases) {
        SCOPED_TRACE(reply.text);
        const LidHelperRefusal refusal(reply.text);
        EXPECT_EQ(refusal.kind(), reply.kind);
        EXPECT_EQ(refusal.detail(), reply.detail);
        EXPECT_EQ(refusal.reason(), reply.text);
        EXPECT_EQ(LidHelperRefusal(refusal.reason()), refusal);
    }
}

TEST(LidHelperRefusal, IllFormedUtf8BecomesReplacementCharacters) {
    const std::string prefix = "The sleep setting could not be written: ";
    // The repair itself is RepairedUtf8's; the refusal applies it to its detail.
    const LidHelperRefusal refusal(prefix + "a\x80z");
    EXPECT_EQ(refusal.kind(), Kind::settingUnwritten);
    EXPECT_EQ(refusal.detail(), "a" + replacement + "z");
    EXPECT_EQ(refusal.reason(), prefix + "a" + replacement + "z");
    EXPECT_EQ(LidHelperRefusal("\xfe\xfe").reason(), replacement + replacement);
    EXPECT_EQ(LidHelperRefusal::settingUnwritten("\xff").detail(), replacement);
}

} // namespace
} // namespace staywake
