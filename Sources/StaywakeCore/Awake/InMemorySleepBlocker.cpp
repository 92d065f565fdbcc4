#include "StaywakeCore/Awake/InMemorySleepBlocker.h"

#include "StaywakeCore/Awake/SleepBlocker.h"

namespace staywake {

void InMemorySleepBlocker::engage() {
    ++engageCalls;
    if (engaged_) {
        return;
    }
    if (refusalCode) {
        throw SleepBlockerError::assertionFailed(*refusalCode);
    }
    engaged_ = true;
    ++takenCount;
}

void InMemorySleepBlocker::release() {
    if (!engaged_) {
        return;
    }
    engaged_ = false;
    ++releasedCount;
}

} // namespace staywake
