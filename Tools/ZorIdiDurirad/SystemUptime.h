#pragma once

namespace staywake {

/// Seconds on the monotonic clock, which stops while the machine is suspended
/// and is never set: time limits are measured on it, so a wall-clock change
/// neither stretches nor cuts a command short.
double systemUptime();

} // namespace staywake
