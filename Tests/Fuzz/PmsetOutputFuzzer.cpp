// The listing of `pmset -g` is read by the root helper after every write. Any
// text either establishes the setting or is refused with a reason, and the
// read-back turns that into its own failure and nothing else.

#include "FuzzCheck.h"

#include "ZorIdiDurirad/PmsetOutput.h"
#include "ZorIdiDurirad/PmsetReadBack.h"
#include "ZorIdiDurirad/SleepSettingFailures.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using staywake::PmsetOutput;
using staywake::PmsetReadBack;
using staywake::SleepDisabledReading;
using staywake::SleepSettingWriteFailure;
using staywake::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view listing(reinterpret_cast<const char*>(data), size);
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
            const auto expected = reading.isUnreadable() ? SleepSettingWriteFailure::Kind::readBackUnreadable
                                                         : SleepSettingWriteFailure::Kind::notApplied;
            require(failure.kind() == expected,
                    "a failed read-back says whether it was unreadable or not applied");
            require(failure.reason() == reading.reason(), "an unreadable read-back keeps the listing's reason");
        }
    }
    return 0;
}
