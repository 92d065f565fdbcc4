#include "StaywakeCore/Awake/LidHelperRefusal.h"

#include "StaywakeCore/Support/RepairedUtf8.h"

#include <array>
#include <utility>

namespace staywake {

namespace {

struct PrefixedCase {
    std::string_view prefix;
    LidHelperRefusal::Kind kind;
};

constexpr std::array prefixedCases{
    PrefixedCase{LidHelperRefusal::settingUnreadablePrefix, LidHelperRefusal::Kind::settingUnreadable},
    PrefixedCase{LidHelperRefusal::settingUnwrittenPrefix, LidHelperRefusal::Kind::settingUnwritten},
    PrefixedCase{LidHelperRefusal::settingNotPutBackPrefix, LidHelperRefusal::Kind::settingNotPutBack},
};

} // namespace

LidHelperRefusal::LidHelperRefusal(std::string_view reason) : kind_(Kind::unrecognized) {
    // The sentences are plain ASCII, so comparing bytes is comparing texts: an
    // ill-formed or differently spelled reply can never equal one.
    if (reason == deadlineNotANumberText) {
        kind_ = Kind::deadlineNotANumber;
        return;
    }
    if (reason == settingOnElsewhereText) {
        kind_ = Kind::settingOnElsewhere;
        return;
    }
    if (reason == settingTurnedOffElsewhereText) {
        kind_ = Kind::settingTurnedOffElsewhere;
        return;
    }
    for (const auto& candidate : prefixedCases) {
        if (reason.starts_with(candidate.prefix)) {
            kind_ = candidate.kind;
            text_ = repairedUtf8(reason.substr(candidate.prefix.size()));
            return;
        }
    }
    text_ = repairedUtf8(reason);
}

LidHelperRefusal LidHelperRefusal::settingUnreadable(std::string_view detail) {
    return {Kind::settingUnreadable, repairedUtf8(detail)};
}

LidHelperRefusal LidHelperRefusal::settingUnwritten(std::string_view detail) {
    return {Kind::settingUnwritten, repairedUtf8(detail)};
}

LidHelperRefusal LidHelperRefusal::settingNotPutBack(std::string_view detail) {
    return {Kind::settingNotPutBack, repairedUtf8(detail)};
}

LidHelperRefusal LidHelperRefusal::unrecognized(std::string_view reason) {
    return {Kind::unrecognized, repairedUtf8(reason)};
}

LidHelperRefusal LidHelperRefusal::deadlineNotANumber() { return {Kind::deadlineNotANumber, {}}; }

LidHelperRefusal LidHelperRefusal::settingOnElsewhere() { return {Kind::settingOnElsewhere, {}}; }

LidHelperRefusal LidHelperRefusal::settingTurnedOffElsewhere() { return {Kind::settingTurnedOffElsewhere, {}}; }

std::optional<std::string> LidHelperRefusal::detail() const {
    switch (kind_) {
    case Kind::settingUnreadable:
    case Kind::settingUnwritten:
    case Kind::settingNotPutBack:
        return text_;
    case Kind::unrecognized:
    case Kind::deadlineNotANumber:
    case Kind::settingOnElsewhere:
    case Kind::settingTurnedOffElsewhere:
        break;
    }
    return std::nullopt;
}

std::string LidHelperRefusal::reason() const {
    switch (kind_) {
    case Kind::settingUnreadable:
        return std::string(settingUnreadablePrefix) + text_;
    case Kind::settingUnwritten:
        return std::string(settingUnwrittenPrefix) + text_;
    case Kind::settingNotPutBack:
        return std::string(settingNotPutBackPrefix) + text_;
    case Kind::unrecognized:
        return text_;
    case Kind::deadlineNotANumber:
        return std::string(deadlineNotANumberText);
    case Kind::settingOnElsewhere:
        return std::string(settingOnElsewhereText);
    case Kind::settingTurnedOffElsewhere:
        return std::string(settingTurnedOffElsewhereText);
    }
    return text_;
}

} // namespace staywake
