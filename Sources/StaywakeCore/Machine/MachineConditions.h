#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace staywake {

/// The machine's power and display situation at one moment.
struct MachineConditionsSnapshot {
    bool isOnBattery = false;
    bool hasExternalDisplay = false;

    /// Closed on battery with no external display, the machine has no clamshell
    /// set-up to shed heat through.
    bool hasNoHeatPath() const { return isOnBattery && !hasExternalDisplay; }

    friend bool operator==(const MachineConditionsSnapshot&, const MachineConditionsSnapshot&) = default;
};

/// Tells its one observer, on the main thread, that the power source or the
/// displays may have changed. The handler carries nothing: the receiver reads
/// the conditions again. Nothing is debounced.
class MachineConditionsNotifier {
public:
    using Handler = std::function<void()>;

    virtual ~MachineConditionsNotifier() = default;
    /// Replaces any earlier observation with one for `handler`.
    virtual void observe(Handler handler) = 0;
};

/// Whether the machine runs on battery and whether an external display is
/// attached. Read on the main thread; failures of the underlying system degrade
/// to answers (never on battery, an external display assumed) so that nothing
/// here throws.
class MachineConditions {
public:
    virtual ~MachineConditions() = default;

    virtual bool isOnBattery() const = 0;
    virtual bool hasExternalDisplay() const = 0;

    /// Reads isOnBattery, then hasExternalDisplay.
    MachineConditionsSnapshot snapshot() const;
};

/// At most this many online displays are looked at.
inline constexpr std::size_t maximumConsideredDisplays = 32;

/// One entry per online display, true when it is built in. An absent list (the
/// displays could not be listed) assumes an external display, which never
/// raises the heat precaution; an empty list has none.
bool hasExternalDisplay(const std::optional<std::vector<bool>>& onlineDisplaysBuiltIn);

} // namespace staywake
