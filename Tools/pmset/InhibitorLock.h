#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace staywake {

/// One inhibitor lock as logind lists it: what it blocks ("sleep:idle"), who
/// took it and why, its mode ("block" or "delay"), and the uid and pid of the
/// process that asked for it.
struct InhibitorLock {
    std::string what;
    std::string who;
    std::string why;
    std::string mode;
    uid_t uid = 0;
    pid_t pid = 0;
};

/// The lock that is Night Brew's sleep setting. logind honours a
/// handle-lid-switch lock whatever LidSwitchIgnoreInhibited says, so closing
/// the lid does nothing; a sleep lock in block mode refuses the suspend
/// requests of the desktop's power daemons; idle keeps logind's IdleAction off.
namespace NightBrewLock {

inline constexpr const char* what = "sleep:idle:handle-lid-switch";
inline constexpr const char* who = "Staywake Night Brew";
inline constexpr const char* why =
    "Night Brew keeps the computer awake with its lid closed while the Staywake app holds "
    "a lease";
inline constexpr const char* mode = "block";

/// Whether `locks` hold this lock taken by process `holder`. The same lock
/// taken by any other process is not ours, whatever it is called.
bool isListedFor(const std::vector<InhibitorLock>& locks, pid_t holder);

} // namespace NightBrewLock

} // namespace staywake
