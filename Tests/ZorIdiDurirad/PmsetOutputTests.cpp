#include "ZorIdiDurirad/PmsetOutput.h"

#include <gtest/gtest.h>
#include <string>

namespace staywake {
namespace {

const std::string notPmset =
    "no SleepDisabled line, and no \"Currently in use:\" \xE2\x80\x94 this is not pmset -g output";

std::string badLine(const std::string& rest) {
    return "SleepDisabled line without a single 0 or 1: \"" + rest + "\"";
}

TEST(PmsetOutput, ReadsTheSettingFromAListing) {
    const std::string both = "SleepDisabled reported both 0 and 1";
    // The reading as "1" (disabled), "0" (enabled) or the reason it establishes nothing.
    const struct {
        const char* name;
        std::string listing;
        std::string reading;
    } cases[] = {
        {"a real listing", "System-wide power settings:\n SleepDisabled\t\t1\nCurrently in use:\n standby 1\n",
         "1"},
        {"value 0", "SleepDisabled 0\n", "0"},
        {"two agreeing lines", "SleepDisabled 1\nCurrently in use:\nSleepDisabled 1\n", "1"},
        {"the header without a setting line", "System-wide power settings:\nCurrently in use:\n standby 1\n", "0"},
        {"a longer header is not the header", "Currently in use: standby\n", notPmset},
        {"empty output", "", notPmset},
        {"another case is not a setting line", "sleepdisabled 1\nCurrently in use:\n", "0"},
        {"the word inside a line is not a setting line", " Sleep SleepDisabled 1\n", notPmset},
        {"disagreeing lines", "SleepDisabled 1\nSleepDisabled 0\n", both},
        {"two values, their blanks shown as one", "SleepDisabled 1  \t 0\n", badLine("1 0")},
        // Lines are checked in order: the first problem names the reason.
        {"a bad line after a disagreement", "SleepDisabled 0\nSleepDisabled 1\nSleepDisabled x\n", both},
        {"a disagreement after a bad line", "SleepDisabled x\nSleepDisabled 0\nSleepDisabled 1\n", badLine("x")},
        // Every line break separates lines: a value on the next line is not on the setting line.
        {"CR LF", "Currently in use:\r\n SleepDisabled 1\r\n", "1"},
        {"a lone CR", "SleepDisabled\r1\n", badLine("")},
        {"U+2028", "SleepDisabled 0\xE2\x80\xA8SleepDisabled 1", both},
        // Unicode white space separates words; a zero-width space and stray bytes stick to the word
        // (octal escapes, which end after three digits).
        {"no-break and ideographic spaces", "SleepDisabled\302\2401\343\200\200", "1"},
        {"a zero-width space", "SleepDisabled \342\200\2131", badLine("\342\200\2131")},
        {"an overlong line feed", "SleepDisabled 1\xC0\x8A", badLine("1\xC0\x8A")},
    };
    for (const auto& c : cases) {
        const auto reading = PmsetOutput::sleepDisabled(c.listing);
        EXPECT_EQ(reading.isUnreadable()                                   ? reading.reason()
                  : reading.kind() == SleepDisabledReading::Kind::disabled ? "1"
                                                                           : "0",
                  c.reading)
            << c.name;
    }
}

} // namespace
} // namespace staywake
