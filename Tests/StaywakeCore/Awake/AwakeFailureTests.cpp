#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/Awake/AwakeIntent.h"
#include "StaywakeCore/Awake/SleepBlocker.h"
#include "StaywakeCore/Lid/LidSleepBlocker.h"

#include <gtest/gtest.h>
#include <limits>

namespace staywake {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
using Kind = LidHelperRefusal::Kind;

TEST(AwakeIntent, ADeadlineNeedsAPositiveFiniteDurationAndAnEndUpToTheDistantFuture) {
    const Date start{1'700'000'000};
    const double toDistantFuture = Date::distantFuture() - start;
    const std::tuple<double, Date, std::optional<Date>> cases[] = {
        // clang-format off
        {0.5, start, start + 0.5}, {0, start, std::nullopt}, {-60, start, std::nullopt}, {infinity, start, std::nullopt},
        {notANumber, start, std::nullopt}, {toDistantFuture, start, Date::distantFuture()},
        {toDistantFuture + 1, start, std::nullopt}, {5, Date{-5}, std::nullopt}, {5, Date{-4}, Date{1}},
        // clang-format on
    };
    for (const auto& [duration, from, deadline] : cases) {
        EXPECT_EQ(AwakeIntent::deadline(duration, from), deadline)
            << duration << " from " << from.secondsSince1970;
    }
}

TEST(AwakeFailure, EveryErrorMapsToItsCase) {
    const AwakeFailure unknown = AwakeFailure::reported("An unknown error occurred.");
    struct SilentError : std::exception {
        const char* what() const noexcept override { return ""; }
    };
    const auto thrown = [](auto error) { return std::make_exception_ptr(error); };
    const auto lowest = std::numeric_limits<std::int32_t>::min();
    const auto unwritten = LidHelperRefusal::settingUnwritten("pmset exited with status 1.");
    const std::pair<std::exception_ptr, AwakeFailure> cases[] = {
        {thrown(SleepBlockerError::assertionFailed(lowest)), AwakeFailure::assertionRefused(lowest)},
        {thrown(LidSleepBlockerError::helperRefused(unwritten.reason())),
         AwakeFailure::lidHelperRefused(unwritten)},
        {thrown(LidSleepBlockerError::helperUnavailable()), AwakeFailure::lidHelperUnavailable()},
        {thrown(LidSleepBlockerError::helperRequiresApproval()), AwakeFailure::lidHelperRequiresApproval()},
        {thrown(std::runtime_error("bad \xff byte")), AwakeFailure::reported("bad \xef\xbf\xbd byte")},
        {thrown(SilentError()), unknown},
        {thrown(42), unknown},
        {std::exception_ptr(), unknown},
    };
    int row = 0;
    for (const auto& [error, expected] : cases) {
        EXPECT_EQ(AwakeFailure(error), expected) << "row " << row++;
    }
}

TEST(LidHelperRefusal, EveryHelperTextReadsAsItsCaseAndTurnsBackIntoTheSameText) {
    using R = LidHelperRefusal;
    const std::pair<LidHelperRefusal, std::optional<std::string>> replies[] = {
        {R::deadlineNotANumber(), std::nullopt},
        {R::settingOnElsewhere(), std::nullopt},
        {R::settingTurnedOffElsewhere(), std::nullopt},
        {R::settingUnreadable("pmset did not answer in time."), "pmset did not answer in time."},
        {R::settingUnwritten("pmset exited with status 1."), "pmset exited with status 1."},
        {R::settingNotPutBack(""), ""},
        // A detail may itself look like a reply: only the first prefix counts.
        {R::settingUnwritten(R::deadlineNotANumberText), std::string(R::deadlineNotANumberText)},
    };
    for (const auto& [reply, detail] : replies) {
        const LidHelperRefusal read(reply.reason());
        EXPECT_EQ(std::pair(read.kind(), read.detail()), std::pair(reply.kind(), detail)) << reply.reason();
        EXPECT_EQ(read.reason(), reply.reason());
    }
    // Near misses are unrecognized and keep their whole text.
    const std::string unwritten(R::settingUnwrittenPrefix);
    for (const std::string& text :
         {" " + unwritten + "pmset failed", unwritten.substr(0, unwritten.size() - 1) + "x",
          std::string(R::deadlineNotANumberText) + std::string(1, '\0')}) {
        const LidHelperRefusal read(text);
        EXPECT_EQ(std::pair(read.kind(), read.detail()),
                  std::pair(Kind::unrecognized, std::optional<std::string>()))
            << text;
        EXPECT_EQ(read.reason(), text);
    }
    // Ill-formed UTF-8 in a detail is repaired before it is kept.
    EXPECT_EQ(LidHelperRefusal(unwritten + "a\x80z").detail(), "a\xef\xbf\xbdz");
}

} // namespace
} // namespace staywake
