#pragma once

#include "StaywakeCore/Awake/AwakeIntent.h"

#include <optional>

namespace staywake {

/// What an intent store hands back: a readable intent, or a requested session
/// whose recorded deadline cannot be read or used.
class StoredAwakeIntent {
public:
    static StoredAwakeIntent intent(AwakeIntent value) { return StoredAwakeIntent(value); }
    static StoredAwakeIntent unreadableDeadline() { return StoredAwakeIntent(std::nullopt); }

    /// The readable intent; absent for an unreadable deadline.
    std::optional<AwakeIntent> intent() const { return intent_; }
    bool isUnreadableDeadline() const { return !intent_.has_value(); }

    friend bool operator==(const StoredAwakeIntent&, const StoredAwakeIntent&) = default;

private:
    explicit StoredAwakeIntent(std::optional<AwakeIntent> intent) : intent_(intent) {}

    std::optional<AwakeIntent> intent_;
};

} // namespace staywake
