#include "ZorIdiDurirad/PmsetSleepSetting.h"

#include "StaywakeLinux/Clock/SystemClocks.h"
#include "ZorIdiDurirad/CommandInterrupt.h"
#include "ZorIdiDurirad/PmsetOutput.h"
#include "ZorIdiDurirad/PmsetReadBack.h"
#include "ZorIdiDurirad/SleepSettingFailures.h"

#include <algorithm>
#include <utility>

namespace staywake {

namespace {

const std::vector<std::string> readArguments{"-g"};

} // namespace

PmsetSleepSetting::PmsetSleepSetting(Log log, double timeout, double readTimeout,
                                     std::shared_ptr<CommandInterrupt> interrupt, std::string toolPath)
    : PmsetSleepSetting(
          std::move(log), timeout, readTimeout, Uptime(),
          [interrupt = std::move(interrupt)](const std::string& path, const std::vector<std::string>& arguments,
                                             double limit) {
              return BoundedCommand::run(path, arguments, limit, interrupt.get());
          },
          std::move(toolPath)) {}

PmsetSleepSetting::PmsetSleepSetting(Log log, double timeout, double readTimeout, Uptime uptime, Run run,
                                     std::string toolPath)
    : log_(std::move(log)), timeout_(timeout), readTimeout_(readTimeout),
      uptime_(uptime ? std::move(uptime) : Uptime([] { return SystemUptimeProvider().uptime(); })),
      run_(std::move(run)), toolPath_(std::move(toolPath)) {}

bool PmsetSleepSetting::isSleepDisabled() {
    const BoundedCommand::Result result = run_(toolPath_, readArguments, readTimeout_);
    if (result.status != 0) {
        throw SleepSettingReadFailure::pmsetExited(result.status);
    }
    const SleepDisabledReading reading = PmsetOutput::sleepDisabled(result.output);
    if (reading.isUnreadable()) {
        throw SleepSettingReadFailure::unreadable(reading.reason());
    }
    return reading.kind() == SleepDisabledReading::Kind::disabled;
}

void PmsetSleepSetting::setSleepDisabled(bool disabled) {
    const double start = uptime_();
    const std::string value = disabled ? "1" : "0";
    const BoundedCommand::Result written = run_(toolPath_, {"-a", "disablesleep", value}, timeout_);
    if (written.status != 0) {
        throw SleepSettingWriteFailure::pmsetExited(written.status);
    }
    // The read-back spends what the write left of the one budget, so that a
    // write and its confirmation together never take longer than `timeout`.
    const double left = timeout_ - (uptime_() - start);
    const BoundedCommand::Result readBack = run_(toolPath_, readArguments, left > 0 ? left : 0);
    PmsetReadBack::confirm(disabled, readBack.status, readBack.output);
    if (log_) {
        log_("wrote disablesleep " + value + ", and read it back");
    }
}

} // namespace staywake
