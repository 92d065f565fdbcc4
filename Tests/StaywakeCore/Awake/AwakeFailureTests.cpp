#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/Awake/LidSleepBlockerError.h"
#include "StaywakeCore/Awake/SleepBlockerError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace staywake {
namespace {

class SilentError : public std::exception {
public:
    const char* what() const noexcept override { return ""; }
};

struct ErrorCase {
    std::string name;
    std::exception_ptr error;
    AwakeFailure expected;
};

std::vector<ErrorCase> errorCases() {
    const std::string refusalText = "The sleep setting could not be written: pmset exited with status 1.";
    return {
        {"refused lock", std::make_exception_ptr(SleepBlockerError::assertionFailed(-536870199)),
         AwakeFailure::assertionRefused(-536870199)},
        {"refused lock, lowest code",
         std::make_exception_ptr(SleepBlockerError::assertionFailed(std::numeric_limits<std::int32_t>::min())),
         AwakeFailure::assertionRefused(std::numeric_limits<std::int32_t>::min())},
        {"helper refusal", std::make_exception_ptr(LidSleepBlockerError::helperRefused(refusalText)),
         AwakeFailure::lidHelperRefused(LidHelperRefusal::settingUnwritten("pmset exited with status 1."))},
        {"helper refusal, odd text", std::make_exception_ptr(LidSleepBlockerError::helperRefused("nope")),
         AwakeFailure::lidHelperRefused(LidHelperRefusal::unrecognized("nope"))},
        {"helper unavailable", std::make_exception_ptr(LidSleepBlockerError::helperUnavailable()),
         AwakeFailure::lidHelperUnavailable()},
        {"helper needs approval", std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval()),
         AwakeFailure::lidHelperRequiresApproval()},
        {"unrelated error", std::make_exception_ptr(std::runtime_error("The disk is full.")),
         AwakeFailure::reported("The disk is full.")},
        {"system error",
         std::make_exception_ptr(std::system_error(std::make_error_code(std::errc::permission_denied), "open")),
         AwakeFailure::reported(
             std::system_error(std::make_error_code(std::errc::permission_denied), "open").what())},
        {"ill-formed text", std::make_exception_ptr(std::runtime_error("bad \xff byte")),
         AwakeFailure::reported("bad \xef\xbf\xbd byte")},
        {"no words", std::make_exception_ptr(SilentError()), AwakeFailure::reported("An unknown error occurred.")},
    };
}

TEST(AwakeFailure, EveryErrorMapsToItsCase) {
    for (const auto& [name, error, expected] : errorCases()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(AwakeFailure(error), expected);
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& caught) {
            EXPECT_EQ(AwakeFailure(caught), expected);
        }
    }
}

TEST(AwakeFailure, ANonStandardOrMissingExceptionIsStillReported) {
    EXPECT_EQ(AwakeFailure(std::make_exception_ptr(42)), AwakeFailure::reported("An unknown error occurred."));
    EXPECT_EQ(AwakeFailure(std::exception_ptr()), AwakeFailure::reported("An unknown error occurred."));
}

TEST(AwakeFailure, ExposesOnlyTheValuesOfItsOwnCase) {
    const auto refused = AwakeFailure::assertionRefused(-3);
    EXPECT_EQ(refused.kind(), AwakeFailure::Kind::assertionRefused);
    EXPECT_EQ(refused.code(), -3);
    EXPECT_EQ(refused.refusal(), std::nullopt);
    EXPECT_EQ(refused.message(), std::nullopt);

    const auto lid = AwakeFailure::lidHelperRefused(LidHelperRefusal::deadlineNotANumber());
    EXPECT_EQ(lid.kind(), AwakeFailure::Kind::lidHelperRefused);
    EXPECT_EQ(lid.refusal(), LidHelperRefusal::deadlineNotANumber());
    EXPECT_EQ(lid.code(), std::nullopt);

    const auto reported = AwakeFailure::reported("x");
    EXPECT_EQ(reported.kind(), AwakeFailure::Kind::reported);
    EXPECT_EQ(reported.message(), "x");

    EXPECT_EQ(AwakeFailure::lidHelperUnavailable().kind(), AwakeFailure::Kind::lidHelperUnavailable);
    EXPECT_EQ(AwakeFailure::lidHelperRequiresApproval().kind(), AwakeFailure::Kind::lidHelperRequiresApproval);
}

TEST(AwakeFailure, EqualOnlyForTheSameCaseWithEqualValues) {
    EXPECT_NE(AwakeFailure::assertionRefused(1), AwakeFailure::assertionRefused(2));
    EXPECT_NE(AwakeFailure::reported("nope"), AwakeFailure::lidHelperRefused(LidHelperRefusal::unrecognized("nope")));
    EXPECT_NE(AwakeFailure::lidHelperUnavailable(), AwakeFailure::lidHelperRequiresApproval());
    EXPECT_NE(AwakeFailure::reported("a"), AwakeFailure::reported("b"));
}

TEST(LidSleepBlockerError, EqualOnlyForTheSameCaseAndReason) {
    EXPECT_EQ(LidSleepBlockerError::helperRefused("a"), LidSleepBlockerError::helperRefused("a"));
    EXPECT_NE(LidSleepBlockerError::helperRefused("a"), LidSleepBlockerError::helperRefused("b"));
    EXPECT_NE(LidSleepBlockerError::helperUnavailable(), LidSleepBlockerError::helperRequiresApproval());
    EXPECT_EQ(LidSleepBlockerError::helperRefused("a").reason(), "a");
    EXPECT_EQ(LidSleepBlockerError::helperUnavailable().reason(), "");
}

} // namespace
} // namespace staywake
