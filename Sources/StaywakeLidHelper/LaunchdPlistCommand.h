#pragma once

#include <ostream>

namespace staywake {

/// "--launchd-plist": writes the helper's job description as an XML property
/// list to `output` and returns 0; on failure writes "could not write the
/// launchd plist: " and the reason, a line, to `errors` and returns 1.
int printLaunchdPlist(std::ostream& output, std::ostream& errors);

} // namespace staywake
