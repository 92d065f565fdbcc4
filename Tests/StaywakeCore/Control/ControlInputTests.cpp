#include "StaywakeCore/Control/ControlInput.h"
#include "StaywakeCore/Control/HoldBook.h"
#include "StaywakeCore/Control/SessionEndNotice.h"

#include <gtest/gtest.h>
#include <limits>

namespace staywake {
namespace {

TEST(ControlInput, ReadsSessionLengthsAndRejectsEverythingElse) {
    const struct {
        std::string text;
        std::optional<double> seconds;
    } cases[] = {
        // clang-format off
        {"1h30m", 5400}, {"45m", 2700}, {"90s", 90}, {"2h", 7200}, {"1h2m3s", 3723}, {"0h5m", 300},
        {"720h", 2592000}, {"721h", std::nullopt}, {"9999999999h", std::nullopt}, {"0h0m0s", std::nullopt},
        {"-5m", std::nullopt}, {"", std::nullopt}, {"90", std::nullopt}, {"1.5h", std::nullopt},
        {"30m1h", std::nullopt}, {"1h1h", std::nullopt}, {"5 m", std::nullopt}, {"1h30", std::nullopt},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ControlInput::duration(c.text), c.seconds) << c.text;
    }
}

TEST(ControlInput, ReadsClockTimesOfOneDayAndPicksTheNextTimeTheClockShowsThem) {
    const struct {
        std::string text;
        bool valid;
        int hour;
        int minute;
    } cases[] = {
        {"17:30", true, 17, 30}, {"7:05", true, 7, 5},    {"00:00", true, 0, 0},  {"23:59", true, 23, 59},
        {"24:00", false, 0, 0},  {"12:60", false, 0, 0},  {"7:5", false, 0, 0},   {"1730", false, 0, 0},
        {":30", false, 0, 0},    {"123:00", false, 0, 0}, {"-1:30", false, 0, 0}, {"17:30pm", false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto time = ControlInput::clockTime(c.text);
        ASSERT_EQ(time.has_value(), c.valid) << c.text;
        if (time) {
            EXPECT_EQ(time->hour * 60 + time->minute, c.hour * 60 + c.minute) << c.text;
        }
    }
    const struct {
        ControlInput::ClockTime target;
        int hour, minute, second;
        int days;
    } days[] = {
        {{17, 30}, 9, 0, 0, 0},   {{17, 30}, 17, 29, 59, 0}, {{17, 30}, 17, 30, 0, 1}, // now is not a session
        {{17, 30}, 17, 30, 1, 1}, {{1, 0}, 23, 30, 0, 1},                              // across midnight
        {{0, 0}, 23, 59, 59, 1},  {{23, 59}, 0, 0, 0, 0},
    };
    for (const auto& c : days) {
        EXPECT_EQ(ControlInput::daysUntil(c.target, c.hour, c.minute, c.second), c.days)
            << c.target.hour << ":" << c.target.minute << " at " << c.hour << ":" << c.minute << ":" << c.second;
    }
}

TEST(HoldBook, EndsAHoldOnlyForItsOwnerNeverReusesAnIdAndCapsHoldsPerConnection) {
    HoldBook book;
    const auto first = book.add(":1.1", "backup");
    const auto second = book.add(":1.2", "render");
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, 0u);
    EXPECT_FALSE(book.release(":1.2", *first)) << "someone else's hold";
    EXPECT_TRUE(book.release(":1.1", *first));
    EXPECT_FALSE(book.release(":1.1", *first)) << "already gone";
    const auto third = book.add(":1.1", "backup");
    ASSERT_TRUE(third);
    EXPECT_GT(*third, *second);
    EXPECT_EQ(book.holders(), (std::vector<std::string>{"render", "backup"}));

    for (std::size_t i = 1; i < HoldBook::perOwnerLimit; ++i) {
        ASSERT_TRUE(book.add(":1.1", "loop"));
    }
    EXPECT_FALSE(book.add(":1.1", "loop"));
    EXPECT_EQ(book.releaseAll(":1.1"), HoldBook::perOwnerLimit);
    EXPECT_FALSE(book.hasOwner(":1.1"));
    EXPECT_EQ(book.releaseAll(":1.2"), 1u);
    EXPECT_TRUE(book.isEmpty());
}

TEST(SessionEndNotice, WarnsFiveMinutesAheadOnlyForSessionsOfAQuarterHourOrMore) {
    const Date start{1'700'000'000};
    const std::pair<double, std::optional<double>> cases[] = {
        {15 * 60, 10 * 60},
        {15 * 60 - 1, std::nullopt},
        {3600, 55 * 60},
        {-3600, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto& [length, warningAfter] : cases) {
        const auto warning = SessionEndNotice::warningAt(start, start + length);
        EXPECT_EQ(warning ? std::optional(*warning - start) : std::nullopt, warningAfter) << length;
    }
}

} // namespace
} // namespace staywake
