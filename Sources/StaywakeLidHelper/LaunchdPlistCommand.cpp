#include "StaywakeLidHelper/LaunchdPlistCommand.h"

#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLinux/Defaults/PropertyListCoding.h"

#include <exception>
#include <string>

namespace staywake {

int printLaunchdPlist(std::ostream& output, std::ostream& errors) {
    std::string xml;
    try {
        xml = PropertyListCoding::encodeXml(LidHelperService::launchdPlist());
    } catch (const std::exception& error) {
        errors << "could not write the launchd plist: " << error.what() << '\n';
        return 1;
    }
    output << xml << std::flush;
    if (!output) {
        // A description that never reached its reader is no success.
        errors << "could not write the launchd plist: standard output could not be written\n";
        return 1;
    }
    return 0;
}

} // namespace staywake
