#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/Awake/AwakeIntent.h"
#include "StaywakeCore/Awake/SleepBlocker.h"
#include "StaywakeCore/Lid/LidSleepBlocker.h"

#include <cmath>
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
    const struct {
        double duration;
        Date from;
        std::optional<Date> deadline;
    } cases[] = {
        {0.5, start, start + 0.5},
        {0, start, std::nullopt},
        {-60, start, std::nullopt},
        {infinity, start, std::nullopt},
        {notANumber, start, std::nullopt},
        {toDistantFuture, start, Date::distantFuture()},
        {toDistantFuture + 1, start, std::nullopt},
        {5, Date{-5}, std::nullopt},
        {5, Date{-4}, Date{1}},
    };
    for (const auto& [duration, from, deadline] : cases) {
        EXPECT_EQ(AwakeIntent::deadline(duration, from), deadline)
            << duration << " from " << from.secondsSince1970;
    }
    EXPECT_TRUE(AwakeIntent::isUsable(Date{std::numeric_limits<double>::denorm_min()}));
    EXPECT_FALSE(AwakeIntent::isUsable(Date{-0.0}));
}

TEST(AwakeFailure, EveryErrorMapsToItsCase) {
    const AwakeFailure unknown = AwakeFailure::reported("An unknown error occurred.");
    struct SilentError : std::exception {
        const char* what() const noexcept override { return ""; }
    };
    const struct {
        std::string name;
        std::exception_ptr error;
        AwakeFailure expected;
    } cases[] = {
        {"refused lock, lowest code",
         std::make_exception_ptr(SleepBlockerError::assertionFailed(std::numeric_limits<std::int32_t>::min())),
         AwakeFailure::assertionRefused(std::numeric_limits<std::int32_t>::min())},
        {"helper refusal",
         std::make_exception_ptr(LidSleepBlockerError::helperRefused(
             "The sleep setting could not be written: pmset exited with status 1.")),
         AwakeFailure::lidHelperRefused(LidHelperRefusal::settingUnwritten("pmset exited with status 1."))},
        {"helper unavailable", std::make_exception_ptr(LidSleepBlockerError::helperUnavailable()),
         AwakeFailure::lidHelperUnavailable()},
        {"helper needs approval", std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval()),
         AwakeFailure::lidHelperRequiresApproval()},
        {"ill-formed text", std::make_exception_ptr(std::runtime_error("bad \xff byte")),
         AwakeFailure::reported("bad \xef\xbf\xbd byte")},
        {"no words", std::make_exception_ptr(SilentError()), unknown},
        {"not a standard exception", std::make_exception_ptr(42), unknown},
        {"no exception at all", std::exception_ptr(), unknown},
    };
    for (const auto& [name, error, expected] : cases) {
        EXPECT_EQ(AwakeFailure(error), expected) << name;
    }
}

TEST(LidHelperRefusal, EveryHelperTextReadsAsItsCaseAndTurnsBackIntoTheSameText) {
    const std::string unwritten = "The sleep setting could not be written: ";
    const struct {
        std::string text;
        Kind kind;
        std::optional<std::string> detail;
    } cases[] = {
        {"The lease deadline is not a number.", Kind::deadlineNotANumber, std::nullopt},
        {"The sleep setting is already on, set by something other than Staywake, and was left as it is.",
         Kind::settingOnElsewhere, std::nullopt},
        {"The sleep setting was turned off by something other than Staywake, and was left off.",
         Kind::settingTurnedOffElsewhere, std::nullopt},
        {"The sleep setting could not be read, so it was left as it is: pmset did not answer in time.",
         Kind::settingUnreadable, "pmset did not answer in time."},
        {unwritten + "pmset exited with status 1.", Kind::settingUnwritten, "pmset exited with status 1."},
        {"The sleep setting could not be put back, and the helper is still trying: ", Kind::settingNotPutBack, ""},
        // A detail may itself look like a reply: only the first prefix counts.
        {unwritten + "The lease deadline is not a number.", Kind::settingUnwritten,
         "The lease deadline is not a number."},
        // Near misses are unrecognized and keep their whole text.
        {" " + unwritten + "pmset failed", Kind::unrecognized, std::nullopt},
        {std::string("The lease deadline is not a number.\0", 36), Kind::unrecognized, std::nullopt},
        {"The sleep setting could not be written:pmset failed", Kind::unrecognized, std::nullopt},
    };
    for (const auto& reply : cases) {
        const LidHelperRefusal refusal(reply.text);
        EXPECT_EQ(std::pair(refusal.kind(), refusal.detail()), std::pair(reply.kind, reply.detail)) << reply.text;
        EXPECT_EQ(refusal.reason(), reply.text);
    }
    // Ill-formed UTF-8 in a detail is repaired before it is kept.
    EXPECT_EQ(LidHelperRefusal(unwritten + "a\x80z").detail(), "a\xef\xbf\xbdz");
}

} // namespace
} // namespace staywake
