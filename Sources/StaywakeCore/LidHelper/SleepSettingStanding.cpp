#include "StaywakeCore/LidHelper/SleepSettingStanding.h"

namespace staywake {

std::ostream& operator<<(std::ostream& out, const SleepSettingStanding& standing) {
    switch (standing.kind()) {
    case SleepSettingStanding::Kind::unread:
        return out << "unread(" << standing.reason() << ")";
    case SleepSettingStanding::Kind::asWritten:
        return out << "asWritten";
    case SleepSettingStanding::Kind::onElsewhere:
        return out << "onElsewhere";
    case SleepSettingStanding::Kind::offElsewhere:
        return out << "offElsewhere";
    }
    return out << "unknown standing";
}

} // namespace staywake
