#include "StaywakeCore/Lid/UnavailableLidSleepBlocker.h"

namespace staywake {

void UnavailableLidSleepBlocker::renew(Date, Completion completion) {
    completion(LidSleepBlockerError::helperUnavailable());
}

void UnavailableLidSleepBlocker::revoke(Completion completion) { completion(std::nullopt); }

} // namespace staywake
