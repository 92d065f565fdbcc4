#pragma once

#include "pmset/PmsetRoot.h"
#include "pmset/RuntimeFile.h"

#include <string_view>

namespace staywake {

/// The runtime logind drop-in that makes logind ignore the lid while the sleep
/// targets are masked. Without it logind would try the lid action, fail on the
/// mask, and try again in a loop.
class LogindLidDropIn {
public:
    static constexpr const char* path = "/run/systemd/logind.conf.d/50-staywake-lid.conf";
    static constexpr std::string_view contents = "# Written by Staywake's pmset while sleep is disabled; removed with it.\n"
                                                 "[Login]\n"
                                                 "HandleLidSwitch=ignore\n"
                                                 "HandleLidSwitchExternalPower=ignore\n"
                                                 "HandleLidSwitchDocked=ignore\n";

    explicit LogindLidDropIn(const PmsetRoot& root) : file_(root.path(path)) {}

    /// Writes the drop-in; false when it was already there as written.
    bool install() const { return file_.write(std::string(contents)); }
    /// Removes the drop-in; false when there was none.
    bool remove() const { return file_.remove(); }
    bool isInstalled() const { return file_.read().has_value(); }

private:
    RuntimeFile file_;
};

} // namespace staywake
