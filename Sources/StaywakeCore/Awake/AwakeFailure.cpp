#include "StaywakeCore/Awake/AwakeFailure.h"

#include "StaywakeCore/Awake/SleepBlocker.h"
#include "StaywakeCore/Lid/LidSleepBlocker.h"
#include "StaywakeCore/Support/RepairedUtf8.h"

#include <utility>

namespace staywake {

namespace {

// Shown when an error carries no words of its own, so the interface never
// shows an empty failure.
constexpr const char* unknownErrorMessage = "An unknown error occurred.";

std::string messageOf(const std::exception& error) {
    std::string text = repairedUtf8(error.what());
    if (text.empty()) {
        return unknownErrorMessage;
    }
    return text;
}

} // namespace

AwakeFailure AwakeFailure::assertionRefused(std::int32_t code) { return AwakeFailure(AssertionRefused{code}); }

AwakeFailure AwakeFailure::lidHelperRefused(LidHelperRefusal refusal) {
    return AwakeFailure(LidHelperRefused{std::move(refusal)});
}

AwakeFailure AwakeFailure::reported(std::string message) { return AwakeFailure(Reported{repairedUtf8(message)}); }

AwakeFailure AwakeFailure::lidHelperUnavailable() { return AwakeFailure(LidHelperUnavailable{}); }

AwakeFailure AwakeFailure::lidHelperRequiresApproval() { return AwakeFailure(LidHelperRequiresApproval{}); }

AwakeFailure::AwakeFailure(const std::exception& error) : case_(Reported{}) {
    if (const auto* refused = dynamic_cast<const SleepBlockerError*>(&error)) {
        case_ = AssertionRefused{refused->code()};
    } else if (const auto* lid = dynamic_cast<const LidSleepBlockerError*>(&error)) {
        switch (lid->kind()) {
        case LidSleepBlockerError::Kind::helperRefused:
            case_ = LidHelperRefused{LidHelperRefusal(lid->reason())};
            break;
        case LidSleepBlockerError::Kind::helperUnavailable:
            case_ = LidHelperUnavailable{};
            break;
        case LidSleepBlockerError::Kind::helperRequiresApproval:
            case_ = LidHelperRequiresApproval{};
            break;
        }
    } else {
        case_ = Reported{messageOf(error)};
    }
}

AwakeFailure::AwakeFailure(const std::exception_ptr& error) : case_(Reported{unknownErrorMessage}) {
    if (!error) {
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        *this = AwakeFailure(caught);
    } catch (...) {
        // Not a standard exception: nothing to read from it.
    }
}

AwakeFailure::Kind AwakeFailure::kind() const {
    // The variant's alternatives are declared in the order of Kind.
    static_assert(std::variant_size_v<Case> == 5);
    return static_cast<Kind>(case_.index());
}

std::optional<std::int32_t> AwakeFailure::code() const {
    if (const auto* refused = std::get_if<AssertionRefused>(&case_)) {
        return refused->code;
    }
    return std::nullopt;
}

std::optional<LidHelperRefusal> AwakeFailure::refusal() const {
    if (const auto* refused = std::get_if<LidHelperRefused>(&case_)) {
        return refused->refusal;
    }
    return std::nullopt;
}

std::optional<std::string> AwakeFailure::message() const {
    if (const auto* reported = std::get_if<Reported>(&case_)) {
        return reported->message;
    }
    return std::nullopt;
}

} // namespace staywake
