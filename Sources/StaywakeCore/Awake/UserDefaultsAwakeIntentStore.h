#pragma once

#include "StaywakeCore/Awake/AwakeIntentStore.h"
#include "StaywakeCore/Defaults/UserDefaults.h"

#include <memory>
#include <string_view>

namespace staywake {

/// Remembers the awake intent in the app's user defaults under two keys: a
/// Boolean that is present and true while a session is requested, and the
/// deadline as seconds since 1970 (absent for a session without one). The
/// deadline may stay behind after a session is turned off; it is ignored
/// until the next session replaces or removes it. Used from the main thread.
class UserDefaultsAwakeIntentStore final : public AwakeIntentStore {
public:
    static constexpr std::string_view isAwakeRequestedKey = "com.staywake.isAwakeRequested";
    static constexpr std::string_view awakeUntilKey = "com.staywake.awakeUntil";

    explicit UserDefaultsAwakeIntentStore(std::shared_ptr<UserDefaults> defaults);

    /// Off unless requested; requested without a deadline is indefinite; a
    /// deadline that is no number (a Boolean counts as none; integers are
    /// accepted) or names an unusable date is an unreadable deadline.
    StoredAwakeIntent load() override;
    void save(const AwakeIntent& intent) override;

private:
    std::shared_ptr<UserDefaults> defaults_;
};

} // namespace staywake
