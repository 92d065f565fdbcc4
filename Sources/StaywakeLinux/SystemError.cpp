#include "StaywakeLinux/SystemError.h"

#include <cstring>

namespace staywake {

SystemError::SystemError(const std::string& attempted, const std::string& on, int errorNumber)
    : std::runtime_error(attempted + " " + on + ": " + std::strerror(errorNumber)), errorNumber_(errorNumber) {}

SystemError::SystemError(const std::string& attempted, int errorNumber)
    : std::runtime_error(attempted + ": " + std::strerror(errorNumber)), errorNumber_(errorNumber) {}

} // namespace staywake
