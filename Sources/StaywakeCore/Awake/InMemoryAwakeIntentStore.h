#pragma once

#include "StaywakeCore/Awake/AwakeIntentStore.h"
#include "StaywakeCore/Clock/Date.h"

#include <optional>

namespace staywake {

/// An intent store that lives only as long as the object: for previews and for
/// a controller built without persistence.
class InMemoryAwakeIntentStore final : public AwakeIntentStore {
public:
    explicit InMemoryAwakeIntentStore(StoredAwakeIntent initial = StoredAwakeIntent::intent(AwakeIntent::off()))
        : stored(initial) {}
    /// Not requested gives off; requested with a date gives until(date), the
    /// date taken as it is (not tested for usability); requested without one
    /// gives indefinite.
    InMemoryAwakeIntentStore(bool isAwakeRequested, std::optional<Date> awakeUntil);

    StoredAwakeIntent load() override { return stored; }
    void save(const AwakeIntent& intent) override { stored = StoredAwakeIntent::intent(intent); }

    /// Anything but off; an unreadable deadline counts as requested.
    bool isAwakeRequested() const;
    /// The date of a stored until(date); absent otherwise.
    std::optional<Date> awakeUntil() const;

    StoredAwakeIntent stored;
};

} // namespace staywake
