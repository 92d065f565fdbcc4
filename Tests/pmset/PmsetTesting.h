#pragma once

#include "Support/ChildProcess.h"
#include "Support/MockBusLauncher.h"
#include "Support/TestSupport.h"
#include "pmset/InhibitorLock.h"
#include "pmset/LogindBus.h"

#include <algorithm>

namespace staywake::testing {

/// How many locks logind lists as Night Brew's, whoever holds them.
inline std::size_t nightBrewLocks() {
    const auto locks = LogindBus().inhibitors();
    return static_cast<std::size_t>(std::ranges::count_if(locks, [](const InhibitorLock& lock) {
        return lock.who == NightBrewLock::who && lock.what == NightBrewLock::what;
    }));
}

} // namespace staywake::testing
