#include "pmset/SleepLockSetting.h"

#include "StaywakeLinux/Clock/SystemClocks.h"
#include "pmset/HolderDirectory.h"
#include "pmset/LockHolderProcess.h"
#include "pmset/LogindBus.h"
#include "pmset/PmsetToolError.h"

#include <poll.h>

#include <algorithm>
#include <functional>

namespace staywake {

namespace {

// logind answers at once; its listing follows a lock that ends a moment
// later, when it has seen the pipe close.
constexpr int listingRecheck = 10; // milliseconds

void waitUntil(const std::function<bool()>& condition, double deadline, const std::string& otherwise) {
    while (!condition()) {
        const int left = millisecondsUntil(deadline);
        if (left == 0) {
            throw PmsetToolError(otherwise);
        }
        ::poll(nullptr, 0, std::min(left, listingRecheck));
    }
}

std::optional<LockHolderProcess> recordedHolder(const HolderDirectory& directory, const std::string& program) {
    const auto pid = directory.recordedPid();
    return pid ? LockHolderProcess::find(*pid, program, directory.owner()) : std::nullopt;
}

} // namespace

SleepLockSetting::Reading SleepLockSetting::read() const {
    const LogindBus bus;
    const auto locks = bus.inhibitors();
    const auto directory = HolderDirectory::forReading();
    const auto holder = directory ? recordedHolder(*directory, program_) : std::nullopt;
    if (!holder) {
        return Reading{};
    }
    return Reading{holder->pid(), NightBrewLock::isListedFor(locks, holder->pid())};
}

void SleepLockSetting::write(bool disableSleep) const {
    const double deadline = SystemUptimeProvider().uptime() + waitLimit;
    const auto directory = HolderDirectory::forChange();
    const LogindBus bus;
    // Asked first, so that without logind no holder is started in vain.
    bus.inhibitors();
    auto holder = recordedHolder(directory, program_);
    if (disableSleep) {
        if (!holder) {
            holder = LockHolderProcess::start(program_, directory, deadline);
        }
        const pid_t pid = holder->pid();
        waitUntil([&] { return NightBrewLock::isListedFor(bus.inhibitors(), pid); }, deadline,
                  "logind does not list the lock of the holder, process " + std::to_string(pid));
        return;
    }
    if (holder) {
        holder->end(deadline);
    }
    // Whatever the record named is gone now, or was never ours.
    directory.forget();
    if (holder) {
        const pid_t pid = holder->pid();
        waitUntil([&] { return !NightBrewLock::isListedFor(bus.inhibitors(), pid); }, deadline,
                  "logind still lists the lock of the ended holder, process " + std::to_string(pid));
    }
}

} // namespace staywake
