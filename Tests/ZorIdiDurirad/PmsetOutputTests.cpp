#include "ZorIdiDurirad/PmsetOutput.h"
#include "ZorIdiDurirad/PmsetReadBack.h"
#include "ZorIdiDurirad/SleepSettingFailures.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace staywake {
namespace {

const std::string notPmset =
    "no SleepDisabled line, and no \"Currently in use:\" \xE2\x80\x94 this is not pmset -g output";

std::string describe(const SleepDisabledReading& reading) {
    switch (reading.kind()) {
    case SleepDisabledReading::Kind::disabled:
        return "disabled";
    case SleepDisabledReading::Kind::enabled:
        return "enabled";
    case SleepDisabledReading::Kind::unreadable:
        break;
    }
    return "unreadable(" + reading.reason() + ")";
}

TEST(PmsetOutput, ReadsTheSettingFromAListing) {
    const auto disabled = SleepDisabledReading::disabled();
    const auto enabled = SleepDisabledReading::enabled();
    const auto unreadable = [](const std::string& reason) { return SleepDisabledReading::unreadable(reason); };
    const std::string realListing = "System-wide power settings:\n SleepDisabled\t\t1\nCurrently in use:\n"
                                    " standby              1\n lidwake              1\n";
    struct Case {
        std::string name;
        std::string listing;
        SleepDisabledReading expected;
    };
    const std::vector<Case> cases = {
        {"a real listing", realListing, disabled},
        {"blanks and tabs around the words", " \t SleepDisabled \t 1 \t \n", disabled},
        {"value 0", "SleepDisabled 0\n", enabled},
        {"two agreeing lines", "SleepDisabled 1\nCurrently in use:\nSleepDisabled 1\n", disabled},
        {"the header without a setting line", "System-wide power settings:\nCurrently in use:\n standby 1\n",
         enabled},
        {"a longer header is not the header", "Currently in use: standby\n", unreadable(notPmset)},
        {"empty output", "", unreadable(notPmset)},
        {"another case is not a setting line", "sleepdisabled 1\nCurrently in use:\n", enabled},
        {"the value 01", "SleepDisabled 01\n", unreadable("SleepDisabled line without a single 0 or 1: \"01\"")},
        {"the word inside a line is not a setting line", " Sleep SleepDisabled 1\n", unreadable(notPmset)},
        {"disagreeing lines", "SleepDisabled 1\nSleepDisabled 0\n",
         unreadable("SleepDisabled reported both 0 and 1")},
        {"two values", "SleepDisabled 1 0\n", unreadable("SleepDisabled line without a single 0 or 1: \"1 0\"")},
        {"a word for a value", "SleepDisabled yes\n",
         unreadable("SleepDisabled line without a single 0 or 1: \"yes\"")},
        {"several blanks between the words of a bad line", "SleepDisabled   on  \t now\n",
         unreadable("SleepDisabled line without a single 0 or 1: \"on now\"")},
        // Lines are checked in order: the first problem names the reason.
        {"a bad line after a disagreement", "SleepDisabled 0\nSleepDisabled 1\nSleepDisabled x\n",
         unreadable("SleepDisabled reported both 0 and 1")},
        {"a disagreement after a bad line", "SleepDisabled x\nSleepDisabled 0\nSleepDisabled 1\n",
         unreadable("SleepDisabled line without a single 0 or 1: \"x\"")},
        // Every line break separates lines, so a value on the next line is not
        // on the setting line.
        {"CR LF", "Currently in use:\r\n SleepDisabled 1\r\n", disabled},
        {"a lone CR", "SleepDisabled\r1\n", unreadable("SleepDisabled line without a single 0 or 1: \"\"")},
        {"U+0085",
         "SleepDisabled\xC2\x85"
         "1",
         unreadable("SleepDisabled line without a single 0 or 1: \"\"")},
        {"U+2028", "SleepDisabled 0\xE2\x80\xA8SleepDisabled 1",
         unreadable("SleepDisabled reported both 0 and 1")},
        // Unicode white space separates words like a blank.
        {"no-break and ideographic spaces",
         "SleepDisabled\xC2\xA0"
         "1\xE3\x80\x80",
         disabled},
        // A zero-width space is not white space: it sticks to the word.
        {"a zero-width space",
         "SleepDisabled \xE2\x80\x8B"
         "1",
         unreadable("SleepDisabled line without a single 0 or 1: \"\xE2\x80\x8B"
                    "1\"")},
        // An overlong line feed is not a line feed, and stray bytes stay in words.
        {"an overlong line feed", "SleepDisabled 1\xC0\x8A",
         unreadable("SleepDisabled line without a single 0 or 1: \"1\xC0\x8A\"")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describe(PmsetOutput::sleepDisabled(c.listing)), describe(c.expected)) << c.name;
    }
}

TEST(PmsetReadBack, PassesOnlyWhenTheReadBackShowsTheWantedValue) {
    struct Case {
        bool wanted;
        std::int32_t status;
        std::string output;
        std::string failure; // empty: passes
    };
    const std::vector<Case> cases = {
        {true, 0, "Currently in use:\n SleepDisabled 1\n", ""},
        {false, 0, "Currently in use:\n SleepDisabled 0\n", ""},
        {false, 0, "Currently in use:\n standby 1\n", ""},
        {true, 0, "Currently in use:\n standby 1\n", "asked for disablesleep 1, read back 0"},
        {false, 0, "SleepDisabled 1\n", "asked for disablesleep 0, read back 1"},
        // The status is judged before the listing.
        {true, 3, "SleepDisabled 1\n", "pmset -g exited 3, so the setting was never read back"},
        {true, -1, "", "pmset -g exited -1, so the setting was never read back"},
        {true, 0, "", "pmset -g established nothing about the setting: " + notPmset},
        {false, 0, "SleepDisabled 1\nSleepDisabled 0\n",
         "pmset -g established nothing about the setting: SleepDisabled reported both 0 and 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        try {
            PmsetReadBack::confirm(c.wanted, c.status, c.output);
            EXPECT_EQ(c.failure, "");
        } catch (const SleepSettingWriteFailure& failure) {
            EXPECT_EQ(failure.what(), c.failure);
        }
    }
}

} // namespace
} // namespace staywake
