#include "ZorIdiDurirad/PmsetReadBack.h"

#include "ZorIdiDurirad/PmsetOutput.h"
#include "ZorIdiDurirad/SleepSettingFailures.h"

namespace staywake {

void PmsetReadBack::confirm(bool wanted, std::int32_t status, std::string_view output) {
    if (status != 0) {
        throw SleepSettingWriteFailure::readBackFailed(status);
    }
    const SleepDisabledReading reading = PmsetOutput::sleepDisabled(output);
    switch (reading.kind()) {
    case SleepDisabledReading::Kind::unreadable:
        throw SleepSettingWriteFailure::readBackUnreadable(reading.reason());
    case SleepDisabledReading::Kind::disabled:
        if (!wanted) {
            throw SleepSettingWriteFailure::notApplied(false, true);
        }
        return;
    case SleepDisabledReading::Kind::enabled:
        if (wanted) {
            throw SleepSettingWriteFailure::notApplied(true, false);
        }
        return;
    }
}

} // namespace staywake
