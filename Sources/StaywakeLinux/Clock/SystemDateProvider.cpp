#include "StaywakeLinux/Clock/SystemDateProvider.h"

#include <chrono>

namespace staywake {

Date SystemDateProvider::now() const {
    // system_clock counts from 1970-01-01 00:00:00 UTC (guaranteed since C++20).
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return Date{std::chrono::duration<double>(sinceEpoch).count()};
}

} // namespace staywake
