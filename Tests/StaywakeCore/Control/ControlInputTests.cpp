#include "StaywakeCore/Control/ControlCommand.h"
#include "StaywakeCore/Control/ControlInput.h"
#include "StaywakeCore/Control/HoldBook.h"
#include "StaywakeCore/Control/SessionEndNotice.h"

#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <sstream>

namespace staywake {
namespace {

constexpr auto none = std::nullopt;

TEST(ControlInput, ReadsSessionLengthsAndRejectsEverythingElse) {
    const std::pair<std::string, std::optional<double>> cases[] = {
        {"1h30m", 5400},   {"45m", 2700},  {"90s", 90},           {"1h2m3s", 3723}, {"0h5m", 300},
        {"720h", 2592000}, {"721h", none}, {"9999999999h", none}, {"0h0m0s", none}, {"-5m", none},
        {"", none},        {"90", none},   {"1.5h", none},        {"30m1h", none},  {"1h1h", none},
        {"5 m", none},     {"1h30", none},
    };
    for (const auto& [text, seconds] : cases) {
        EXPECT_EQ(ControlInput::duration(text), seconds) << text;
    }
}

TEST(ControlInput, ReadsClockTimesOfOneDayAndPicksTheNextTimeTheClockShowsThem) {
    const std::pair<std::string, std::optional<int>> times[] = {
        // minutes into the day
        {"17:30", 1050}, {"7:05", 425},  {"00:00", 0},  {"23:59", 1439},  {"24:00", none}, {"12:60", none},
        {"7:5", none},   {"1730", none}, {":30", none}, {"123:00", none}, {"-1:30", none}, {"17:30pm", none},
    };
    for (const auto& [text, minutes] : times) {
        const auto time = ControlInput::clockTime(text);
        EXPECT_EQ(time ? std::optional(time->hour * 60 + time->minute) : std::nullopt, minutes) << text;
    }
    const std::tuple<ControlInput::ClockTime, int, int, int, int> days[] = {
        // the time; now h, m, s; days ahead
        {{17, 30}, 9, 0, 0, 0},   {{17, 30}, 17, 29, 59, 0}, {{17, 30}, 17, 30, 0, 1}, // now is not a session
        {{17, 30}, 17, 30, 1, 1}, {{1, 0}, 23, 30, 0, 1},    {{0, 0}, 23, 59, 59, 1},  {{23, 59}, 0, 0, 0, 0},
    };
    for (const auto& [target, hour, minute, second, ahead] : days) {
        EXPECT_EQ(ControlInput::daysUntil(target, hour, minute, second), ahead) << hour << ":" << minute;
    }
}

TEST(ControlCommand, ReadsEachCommandLineOrSaysInOneSentenceWhatIsWrong) {
    using enum ControlCommand::Kind;
    const std::time_t now = 1'700'000'000;
    const std::string notRun = "run needs -- and the command to run",
                      notOn = "on takes either --for LENGTH or --until HH:MM";
    const std::tuple<std::string, ControlCommand::Kind, std::string> cases[] = {
        // the line, what it asks, and turnOn's seconds, run's reason|words or the complaint (the kind then moot)
        // clang-format off
        {"help", help, ""}, {"-h", help, ""}, {"--help", help, ""}, {"inhibitors", inhibitors, ""},
        {"off", turnOff, ""}, {"status", status, ""}, {"status --json", statusJson, ""},
        {"nightbrew on", nightBrewOn, ""}, {"nightbrew off", nightBrewOff, ""}, {"on", turnOn, "0"},
        {"on --for 1h30m", turnOn, "5400"}, {"on --until 7:05", turnOnUntil, ""},
        {"run -- tar -c x", run, "tar -c x|3"}, {"run --why backup -- tar", run, "backup|1"},
        {"", help, "no command given"}, {"frobnicate", help, "unknown command \"frobnicate\""},
        {"inhibitors --all", help, "inhibitors takes no options"}, {"off now", help, "off takes no options"},
        {"status --yaml", help, "status takes only --json"}, {"on --for 1h --until 17:30", help, notOn},
        {"on --for 0m", help, "\"0m\" is not a length above 0 and up to 720h, such as 1h30m, 45m or 90s"},
        {"on --until 24:00", help, "\"24:00\" is not a time of day such as 17:30"},
        {"nightbrew on off", help, "nightbrew takes on or off"}, {"on --for", help, notOn},
        {"run tar", help, notRun}, {"run --", help, notRun}, {"run --why backup tar", help, notRun},
        // clang-format on
    };
    for (const auto& [line, kind, text] : cases) {
        std::istringstream split(line);
        const auto read = ControlCommand::read({std::istream_iterator<std::string>(split), {}}, now);
        const auto* got = std::get_if<ControlCommand>(&read);
        const std::string said = !got                  ? std::get<std::string>(read)
                                 : got->kind == run    ? got->why + "|" + std::to_string(got->command.size())
                                 : got->kind == turnOn ? std::to_string(int(got->seconds))
                                                       : "";
        EXPECT_EQ(said, text) << line;
        EXPECT_EQ(got ? got->kind : kind, kind) << line;
        EXPECT_TRUE(kind != turnOnUntil || (got && got->until > now && got->until <= now + 25 * 3600)) << line;
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
    const std::pair<double, std::optional<double>> cases[] = {{15 * 60, 10 * 60},
                                                              {15 * 60 - 1, none},
                                                              {3600, 55 * 60},
                                                              {std::numeric_limits<double>::quiet_NaN(), none}};
    for (const auto& [length, warningAfter] : cases) {
        const auto warning = SessionEndNotice::warningAt(start, start + length);
        EXPECT_EQ(warning ? std::optional(*warning - start) : std::nullopt, warningAfter) << length;
    }
}

} // namespace
} // namespace staywake
