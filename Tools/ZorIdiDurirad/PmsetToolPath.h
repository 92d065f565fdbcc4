#pragma once

#include <string>

namespace staywake {

/// Where the helper finds the pmset tool. On Linux the bundle carries its own
/// pmset beside the helper (Contents/Helpers/pmset): the directory of the
/// running executable, as /proc/self/exe names it, plus "/pmset". Elsewhere it
/// is the system's "/usr/bin/pmset". The helper's main computes it once at
/// start and hands it to PmsetSleepSetting. Throws std::system_error when the
/// running executable cannot be named.
std::string defaultPmsetPath();

/// "<directory of executablePath>/pmset". The kernel's " (deleted)" mark on a
/// replaced executable sits in the file name and so does not matter.
std::string pmsetPathBeside(const std::string& executablePath);

} // namespace staywake
