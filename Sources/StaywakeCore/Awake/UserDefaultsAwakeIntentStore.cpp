#include "StaywakeCore/Awake/UserDefaultsAwakeIntentStore.h"

#include <string>
#include <utility>

namespace staywake {

namespace {

const std::string requestedKey(UserDefaultsAwakeIntentStore::isAwakeRequestedKey);
const std::string untilKey(UserDefaultsAwakeIntentStore::awakeUntilKey);

} // namespace

UserDefaultsAwakeIntentStore::UserDefaultsAwakeIntentStore(std::shared_ptr<UserDefaults> defaults)
    : defaults_(std::move(defaults)) {}

StoredAwakeIntent UserDefaultsAwakeIntentStore::load() {
    const bool requested = defaults_->boolean(requestedKey);
    const auto value = defaults_->object(untilKey);
    if (!requested) {
        return StoredAwakeIntent::intent(AwakeIntent::off());
    }
    if (!value) {
        return StoredAwakeIntent::intent(AwakeIntent::indefinite());
    }
    const auto seconds = value->number();
    if (!seconds) {
        return StoredAwakeIntent::unreadableDeadline();
    }
    const Date date{*seconds};
    if (!AwakeIntent::isUsable(date)) {
        return StoredAwakeIntent::unreadableDeadline();
    }
    return StoredAwakeIntent::intent(AwakeIntent::until(date));
}

void UserDefaultsAwakeIntentStore::save(const AwakeIntent& intent) {
    switch (intent.kind()) {
    case AwakeIntent::Kind::until:
        defaults_->set(untilKey, intent.date()->secondsSince1970);
        defaults_->set(requestedKey, true);
        break;
    case AwakeIntent::Kind::indefinite:
        defaults_->removeObject(untilKey);
        defaults_->set(requestedKey, true);
        break;
    case AwakeIntent::Kind::off:
        defaults_->removeObject(requestedKey);
        break;
    }
}

} // namespace staywake
