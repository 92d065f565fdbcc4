#include "ZorIdiDurirad/CommandLaunchError.h"

namespace staywake {

CommandLaunchError::CommandLaunchError(const std::string& path, int errorNumber)
    : std::system_error(errorNumber, std::generic_category(), "could not launch " + path), path_(path) {}

} // namespace staywake
