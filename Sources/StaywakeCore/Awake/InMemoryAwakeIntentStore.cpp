#include "StaywakeCore/Awake/InMemoryAwakeIntentStore.h"

namespace staywake {

namespace {

StoredAwakeIntent storedFrom(bool isAwakeRequested, std::optional<Date> awakeUntil) {
    if (!isAwakeRequested) {
        return StoredAwakeIntent::intent(AwakeIntent::off());
    }
    if (awakeUntil) {
        return StoredAwakeIntent::intent(AwakeIntent::until(*awakeUntil));
    }
    return StoredAwakeIntent::intent(AwakeIntent::indefinite());
}

} // namespace

InMemoryAwakeIntentStore::InMemoryAwakeIntentStore(bool isAwakeRequested, std::optional<Date> awakeUntil)
    : stored(storedFrom(isAwakeRequested, awakeUntil)) {}

bool InMemoryAwakeIntentStore::isAwakeRequested() const {
    return stored != StoredAwakeIntent::intent(AwakeIntent::off());
}

std::optional<Date> InMemoryAwakeIntentStore::awakeUntil() const {
    const auto intent = stored.intent();
    return intent ? intent->date() : std::nullopt;
}

} // namespace staywake
