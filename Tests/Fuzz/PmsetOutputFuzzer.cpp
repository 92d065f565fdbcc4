// Any text as the `pmset -g` listing the root helper reads back after every write.

#include "FuzzCheck.h"

#include "ZorIdiDurirad/PmsetOutput.h"
#include "ZorIdiDurirad/PmsetReadBack.h"
#include "ZorIdiDurirad/SleepSettingFailures.h"

void staywake::fuzz::check(std::span<const std::uint8_t>, std::string_view listing) {
    const SleepDisabledReading reading = PmsetOutput::sleepDisabled(listing);
    require(reading.isUnreadable() != reading.reason().empty(), "exactly a refused listing carries a reason");
    for (const bool wanted : {false, true}) {
        const bool shows = reading.kind() ==
                           (wanted ? SleepDisabledReading::Kind::disabled : SleepDisabledReading::Kind::enabled);
        try {
            PmsetReadBack::confirm(wanted, 0, listing);
            require(shows, "a read-back is confirmed only when the listing shows the wanted value");
        } catch (const SleepSettingWriteFailure& failure) {
            require(!shows, "a read-back showing the wanted value is confirmed");
            require(failure.kind() == (reading.isUnreadable() ? SleepSettingWriteFailure::Kind::readBackUnreadable
                                                              : SleepSettingWriteFailure::Kind::notApplied),
                    "a failed read-back says whether it was unreadable or not applied");
            require(failure.reason() == reading.reason(), "an unreadable read-back keeps the listing's reason");
        }
    }
}
