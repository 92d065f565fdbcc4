#pragma once

#include <functional>

namespace staywake {

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

} // namespace staywake
