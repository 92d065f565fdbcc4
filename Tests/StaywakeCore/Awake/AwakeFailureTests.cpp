#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/Awake/SleepBlocker.h"
#include "StaywakeCore/Lid/LidSleepBlocker.h"

#include <cstdint>
#include <exception>
#include <gtest/gtest.h>
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

TEST(AwakeFailure, EveryErrorMapsToItsCase) {
    const auto permissionDenied = std::system_error(std::make_error_code(std::errc::permission_denied), "open");
    const AwakeFailure unknown = AwakeFailure::reported("An unknown error occurred.");
    struct Case {
        std::string name;
        std::exception_ptr error;
        AwakeFailure expected;
    };
    const std::vector<Case> cases = {
        {"refused lock, lowest code",
         std::make_exception_ptr(SleepBlockerError::assertionFailed(std::numeric_limits<std::int32_t>::min())),
         AwakeFailure::assertionRefused(std::numeric_limits<std::int32_t>::min())},
        {"helper refusal",
         std::make_exception_ptr(LidSleepBlockerError::helperRefused(
             "The sleep setting could not be written: pmset exited with status 1.")),
         AwakeFailure::lidHelperRefused(LidHelperRefusal::settingUnwritten("pmset exited with status 1."))},
        {"helper refusal, odd text", std::make_exception_ptr(LidSleepBlockerError::helperRefused("nope")),
         AwakeFailure::lidHelperRefused(LidHelperRefusal::unrecognized("nope"))},
        {"helper unavailable", std::make_exception_ptr(LidSleepBlockerError::helperUnavailable()),
         AwakeFailure::lidHelperUnavailable()},
        {"helper needs approval", std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval()),
         AwakeFailure::lidHelperRequiresApproval()},
        {"system error", std::make_exception_ptr(permissionDenied),
         AwakeFailure::reported(permissionDenied.what())},
        {"ill-formed text", std::make_exception_ptr(std::runtime_error("bad \xff byte")),
         AwakeFailure::reported("bad \xef\xbf\xbd byte")},
        {"no words", std::make_exception_ptr(SilentError()), unknown},
        {"not a standard exception", std::make_exception_ptr(42), unknown},
        {"no exception at all", std::exception_ptr(), unknown},
    };
    for (const auto& [name, error, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(AwakeFailure(error), expected);
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const std::exception& caught) {
            EXPECT_EQ(AwakeFailure(caught), expected);
        } catch (...) {
        }
    }
}

} // namespace
} // namespace staywake
