#pragma once

#include "StaywakeCore/Awake/LidHelperRefusal.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <variant>

namespace staywake {

/// The one failure value that controllers publish for the interface to word.
/// Nothing is thrown across subsystem lines: errors become one of these.
/// Immutable; usable from any thread.
class AwakeFailure {
public:
    enum class Kind {
        /// The system refused the idle-sleep lock; `code()` is its signed code.
        assertionRefused,
        /// The lid helper refused or ended a lease; `refusal()` says why.
        lidHelperRefused,
        /// Any other failure; `message()` is ready to show.
        reported,
        /// The lid helper could not be reached.
        lidHelperUnavailable,
        /// The lid helper is registered but waits for the user's approval.
        lidHelperRequiresApproval,
    };

    static AwakeFailure assertionRefused(std::int32_t code);
    static AwakeFailure lidHelperRefused(LidHelperRefusal refusal);
    static AwakeFailure reported(std::string message);
    static AwakeFailure lidHelperUnavailable();
    static AwakeFailure lidHelperRequiresApproval();

    /// Turns any error into a failure; never fails. SleepBlockerError gives
    /// assertionRefused with its code; LidSleepBlockerError gives the matching
    /// lid case (a refusal's text read as a LidHelperRefusal); anything else is
    /// reported with its what() text.
    explicit AwakeFailure(const std::exception& error);
    /// The same for a caught exception of any type; a non-standard exception or
    /// a null pointer is reported with a generic message.
    explicit AwakeFailure(const std::exception_ptr& error);

    Kind kind() const;
    std::optional<std::int32_t> code() const;
    std::optional<LidHelperRefusal> refusal() const;
    std::optional<std::string> message() const;

    friend bool operator==(const AwakeFailure&, const AwakeFailure&) = default;

private:
    struct AssertionRefused {
        std::int32_t code;
        friend bool operator==(const AssertionRefused&, const AssertionRefused&) = default;
    };
    struct LidHelperRefused {
        LidHelperRefusal refusal;
        friend bool operator==(const LidHelperRefused&, const LidHelperRefused&) = default;
    };
    struct Reported {
        std::string message;
        friend bool operator==(const Reported&, const Reported&) = default;
    };
    struct LidHelperUnavailable {
        friend bool operator==(const LidHelperUnavailable&, const LidHelperUnavailable&) = default;
    };
    struct LidHelperRequiresApproval {
        friend bool operator==(const LidHelperRequiresApproval&, const LidHelperRequiresApproval&) = default;
    };
    using Case = std::variant<AssertionRefused, LidHelperRefused, Reported, LidHelperUnavailable,
                              LidHelperRequiresApproval>;

    explicit AwakeFailure(Case value) : case_(std::move(value)) {}

    Case case_;
};

} // namespace staywake
