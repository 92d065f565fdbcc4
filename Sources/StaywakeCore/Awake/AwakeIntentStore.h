#pragma once

#include "StaywakeCore/Awake/AwakeIntent.h"
#include "StaywakeCore/Awake/StoredAwakeIntent.h"

namespace staywake {

/// Where the awake controller records the user's intent so that a session
/// outlives the process. Used from the main thread only.
class AwakeIntentStore {
public:
    virtual ~AwakeIntentStore() = default;

    virtual StoredAwakeIntent load() = 0;
    virtual void save(const AwakeIntent& intent) = 0;
};

} // namespace staywake
