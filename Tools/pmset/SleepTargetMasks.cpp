#include "pmset/SleepTargetMasks.h"

#include <algorithm>
#include <sstream>

namespace staywake {

namespace {

bool isSleepTarget(const std::string& unit) {
    return std::ranges::any_of(SleepTargetMasks::targets, [&](const char* target) { return unit == target; });
}

} // namespace

bool SleepTargetMasks::Reading::isSleepDisabled() const {
    return !targets.empty() && std::ranges::all_of(targets, [](const Target& target) { return target.isMasked(); });
}

SleepTargetMasks::SleepTargetMasks(const PmsetRoot& root, const Systemctl& systemctl)
    : systemctl_(systemctl), dropIn_(root), record_(root.path(recordPath)) {}

SleepTargetMasks::Reading SleepTargetMasks::read() const {
    const std::vector<std::string> units(targets.begin(), targets.end());
    const auto states = systemctl_.unitFileStates(units);
    Reading reading;
    for (std::size_t index = 0; index < units.size(); ++index) {
        reading.targets.push_back(Target{units[index], states[index]});
    }
    reading.lidDropInInstalled = dropIn_.isInstalled();
    return reading;
}

void SleepTargetMasks::write(bool disableSleep) const {
    if (disableSleep) {
        disable();
    } else {
        restore();
    }
}

std::vector<std::string> SleepTargetMasks::recordedTargets() const {
    std::vector<std::string> recorded;
    std::istringstream lines(record_.read().value_or(""));
    for (std::string line; std::getline(lines, line);) {
        // Only sleep targets are ever unmasked, whatever the file says.
        if (isSleepTarget(line) && std::ranges::find(recorded, line) == recorded.end()) {
            recorded.push_back(line);
        }
    }
    return recorded;
}

void SleepTargetMasks::disable() const {
    if (dropIn_.install()) {
        systemctl_.reloadLogind();
    }
    auto recorded = recordedTargets();
    std::vector<std::string> toMask;
    for (const auto& target : read().targets) {
        if (!target.isMasked()) {
            toMask.push_back(target.unit);
            if (std::ranges::find(recorded, target.unit) == recorded.end()) {
                recorded.push_back(target.unit);
            }
        }
    }
    if (toMask.empty()) {
        return;
    }
    // Recorded first: a tool stopped between the two steps still knows to undo them.
    std::string record;
    for (const auto& unit : recorded) {
        record += unit + "\n";
    }
    record_.write(record);
    systemctl_.maskRuntime(toMask);
}

void SleepTargetMasks::restore() const {
    const auto recorded = recordedTargets();
    if (!recorded.empty()) {
        systemctl_.unmaskRuntime(recorded);
    }
    record_.remove();
    if (dropIn_.remove()) {
        systemctl_.reloadLogind();
    }
}

} // namespace staywake
