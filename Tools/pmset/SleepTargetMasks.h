#pragma once

#include "pmset/LogindLidDropIn.h"
#include "pmset/PmsetRoot.h"
#include "pmset/RuntimeFile.h"
#include "pmset/Systemctl.h"

#include <array>
#include <string>
#include <vector>

namespace staywake {

/// The pmset tool's setting "sleep disabled": every sleep target masked, so
/// that neither logind nor a desktop power daemon can suspend or hibernate.
///
/// Writing 1 installs the logind lid drop-in, reloads logind, and masks in
/// /run the targets nothing masks yet; writing 0 unmasks exactly those again,
/// then removes the drop-in and reloads. Which targets the tool masked is
/// recorded in /run/staywake before it masks them, so that masks someone else
/// made (an administrator's in /etc, or another runtime mask) are never undone.
class SleepTargetMasks {
public:
    static constexpr std::array<const char*, 5> targets = {
        "sleep.target", "suspend.target", "hibernate.target", "hybrid-sleep.target",
        "suspend-then-hibernate.target"};
    static constexpr const char* recordPath = "/run/staywake/pmset-masked-targets";

    struct Target {
        std::string unit;
        /// systemctl's unit-file state
        std::string state;
        bool isMasked() const { return state == "masked" || state == "masked-runtime"; }
    };

    struct Reading {
        std::vector<Target> targets;
        bool lidDropInInstalled = false;
        /// Sleep is disabled when every sleep target is masked, by whomever.
        bool isSleepDisabled() const;
    };

    SleepTargetMasks(const PmsetRoot& root, const Systemctl& systemctl);

    Reading read() const;
    void write(bool disableSleep) const;

private:
    std::vector<std::string> recordedTargets() const;
    void disable() const;
    void restore() const;

    const Systemctl& systemctl_;
    LogindLidDropIn dropIn_;
    RuntimeFile record_;
};

} // namespace staywake
