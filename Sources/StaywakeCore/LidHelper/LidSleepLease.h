#pragma once

#include "StaywakeCore/Clock/Date.h"

namespace staywake::LidSleepLease {

// The timings of a Night Brew lease, in seconds, shared by the app and the
// helper.

/// The farthest a lease may reach ahead of the helper's wall clock: a lease
/// left by an app that hangs or dies runs out within this time. The app asks
/// for its own clock plus this much.
inline constexpr double duration = 30;
/// How often the app renews, well inside `duration` so that one late or lost
/// renewal does not end the lease.
inline constexpr double renewalInterval = 10;
/// How long the app waits for the helper's reply.
inline constexpr double replyTimeout = 2;
/// The time budget of one confirmed write of the sleep setting.
inline constexpr double writeTimeout = 1;
/// The least uptime between two attempts to write the same value after a
/// failure, so a tool that keeps failing is not run on every request.
inline constexpr double retrySpacing = 0.25;
/// The time limit of one read of the sleep setting.
inline constexpr double readTimeout = 0.25;

/// The deadline a lease renewed at `renewedAt` asks for.
constexpr Date expiry(Date renewedAt) { return renewedAt + duration; }

} // namespace staywake::LidSleepLease
