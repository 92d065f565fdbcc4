#pragma once

#include "StaywakeCore/LidHelper/SystemSleepSetting.h"
#include "ZorIdiDurirad/BoundedCommand.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace staywake {

class CommandInterrupt;

/// The sleep setting through the pmset tool: `pmset -g` reads it,
/// `pmset -a disablesleep 1|0` writes it, and every write is read back and
/// fails unless the new value is really in force. Every command goes through
/// the bounded runner, so no call can hang. Holds no mutable state.
///
/// Failures: SleepSettingReadFailure and SleepSettingWriteFailure for what the
/// tool said; the runner's own errors (CommandFailure, CommandLaunchError,
/// std::system_error) pass through unchanged. Nothing here retries or undoes.
class PmsetSleepSetting final : public SystemSleepSetting {
public:
    using Log = std::function<void(const std::string& line)>;
    using Uptime = std::function<double()>;
    using Run = std::function<BoundedCommand::Result(const std::string& path,
                                                     const std::vector<std::string>& arguments, double timeout)>;

    /// Runs the tool at `toolPath` (see defaultPmsetPath()) with
    /// BoundedCommand::run and `interrupt` (may be null), timing on the
    /// system uptime clock. `timeout` is the budget of one write together
    /// with its read-back; `readTimeout` the limit of one plain read. `log`
    /// receives one line after each confirmed write.
    PmsetSleepSetting(Log log, double timeout, double readTimeout, std::shared_ptr<CommandInterrupt> interrupt,
                      std::string toolPath);
    /// The same with the clock and the runner replaced; an empty `uptime`
    /// means the system uptime clock.
    PmsetSleepSetting(Log log, double timeout, double readTimeout, Uptime uptime, Run run, std::string toolPath);

    bool isSleepDisabled() override;
    void setSleepDisabled(bool disabled) override;

private:
    Log log_;
    double timeout_;
    double readTimeout_;
    Uptime uptime_;
    Run run_;
    std::string toolPath_;
};

} // namespace staywake
