#include "pmset/InhibitorLock.h"

#include <algorithm>

namespace staywake {

bool NightBrewLock::isListedFor(const std::vector<InhibitorLock>& locks, pid_t holder) {
    return std::ranges::any_of(locks, [&](const InhibitorLock& lock) {
        return lock.pid == holder && lock.what == what && lock.who == who && lock.mode == mode;
    });
}

} // namespace staywake
