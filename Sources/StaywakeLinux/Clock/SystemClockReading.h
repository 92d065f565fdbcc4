#pragma once

#include <ctime>

namespace staywake {

/// The reading of a kernel clock in seconds. The clocks read here cannot fail
/// on any kernel the app supports; if one ever did, the reading is
/// not-a-number, which every deadline comparison treats as "not comparable"
/// and so falls back to the wall clock rather than ending or stretching a
/// session on a made-up value.
double secondsOnClock(clockid_t clock);

} // namespace staywake
