#include "StaywakeCore/Awake/LidHelperRefusal.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace staywake {
namespace {

using Kind = LidHelperRefusal::Kind;

struct ReplyCase {
    std::string text;
    Kind kind;
    std::optional<std::string> detail;
};

TEST(LidHelperRefusal, EveryHelperTextReadsAsItsCaseAndTurnsBackIntoTheSameText) {
    const std::vector<ReplyCase> cases = {
        {"The lease deadline is not a number.", Kind::deadlineNotANumber, std::nullopt},
        {"The sleep setting is already on, set by something other than Staywake, and was left as it is.",
         Kind::settingOnElsewhere, std::nullopt},
        {"The sleep setting was turned off by something other than Staywake, and was left off.",
         Kind::settingTurnedOffElsewhere, std::nullopt},
        {"The sleep setting could not be read, so it was left as it is: pmset did not answer in time.",
         Kind::settingUnreadable, "pmset did not answer in time."},
        {"The sleep setting could not be written: pmset exited with status 1.", Kind::settingUnwritten,
         "pmset exited with status 1."},
        {"The sleep setting could not be put back, and the helper is still trying: busy",
         Kind::settingNotPutBack, "busy"},
        {"The sleep setting could not be written: ", Kind::settingUnwritten, ""},
        {"The sleep setting could not be read, so it was left as it is: ", Kind::settingUnreadable, ""},
        {"The sleep setting could not be put back, and the helper is still trying: ", Kind::settingNotPutBack, ""},
        // A detail may itself look like a reply: only the first prefix counts.
        {"The sleep setting could not be written: The lease deadline is not a number.", Kind::settingUnwritten,
         "The lease deadline is not a number."},
        {"Schlafmodus: ungültig – «nein» 🙃", Kind::unrecognized, std::nullopt},
        {"", Kind::unrecognized, std::nullopt},
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

TEST(LidHelperRefusal, NearMissesAreUnrecognizedAndKeepTheirWholeText) {
    const std::vector<std::string> nearMisses = {
        " The sleep setting could not be written: pmset failed",
        "The lease deadline is not a number. ",
        "The lease deadline is not a number",
        "the lease deadline is not a number.",
        "The lease deadline is not a number.\n",
        std::string("The lease deadline is not a number.\0", 36),
        "The sleep setting could not be written:",
        "The sleep setting could not be written:pmset failed",
        "The sleep setting could not be written\xc2\xa0: x",
        "The sleep setting could not be written:\xc2\xa0x",
        "The sleep setting was turned off by something other than Staywake, and was left off. Again.",
        "The sleep setting is already on, set by something other than Staywake, and was left as it is",
    };
    for (const auto& text : nearMisses) {
        SCOPED_TRACE(text);
        const LidHelperRefusal refusal(text);
        EXPECT_EQ(refusal.kind(), Kind::unrecognized);
        EXPECT_EQ(refusal.reason(), text);
        EXPECT_EQ(refusal.detail(), std::nullopt);
    }
}

TEST(LidHelperRefusal, IllFormedUtf8AfterThePrefixBecomesReplacementCharacters) {
    const std::string prefix = "The sleep setting could not be written: ";
    const std::string replacement = "\xef\xbf\xbd";
    struct Case {
        std::string rest;
        std::string detail;
    };
    const std::vector<Case> cases = {
        {"\xff" "ok", replacement + "ok"},
        {"a\x80z", "a" + replacement + "z"},
        // A truncated sequence is one maximal subpart, replaced once.
        {"\xe2\x82", replacement},
        {"\xe2\x82" "x", replacement + "x"},
        // Overlong forms and encoded surrogates are ill-formed byte by byte.
        {"\xc0\xaf", replacement + replacement},
        {"\xed\xa0\x80", replacement + replacement + replacement},
        {"\xf4\x90\x80\x80", replacement + replacement + replacement + replacement},
        // Well-formed text, an embedded NUL included, stays as it is.
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xf0\x9f\x98\x80"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& [rest, detail] : cases) {
        SCOPED_TRACE(rest);
        const LidHelperRefusal refusal(prefix + rest);
        EXPECT_EQ(refusal.kind(), Kind::settingUnwritten);
        EXPECT_EQ(refusal.detail(), detail);
        EXPECT_EQ(refusal.reason(), prefix + detail);
    }

    const LidHelperRefusal garbled("\xfe\xfe");
    EXPECT_EQ(garbled.kind(), Kind::unrecognized);
    EXPECT_EQ(garbled.reason(), replacement + replacement);
}

TEST(LidHelperRefusal, BuiltCasesCarryValidTextAndCompareByCaseAndText) {
    EXPECT_EQ(LidHelperRefusal::settingUnwritten("\xff").detail(), "\xef\xbf\xbd");
    EXPECT_EQ(LidHelperRefusal::settingUnreadable("x").reason(),
              "The sleep setting could not be read, so it was left as it is: x");
    EXPECT_EQ(LidHelperRefusal::unrecognized("odd").reason(), "odd");

    EXPECT_NE(LidHelperRefusal::settingUnwritten("x"), LidHelperRefusal::settingUnreadable("x"));
    EXPECT_NE(LidHelperRefusal::settingUnwritten("x"), LidHelperRefusal::settingUnwritten("y"));
    EXPECT_NE(LidHelperRefusal::unrecognized(""), LidHelperRefusal::deadlineNotANumber());
    EXPECT_EQ(LidHelperRefusal::settingOnElsewhere(),
              LidHelperRefusal(LidHelperRefusal::settingOnElsewhereText));
}

} // namespace
} // namespace staywake
