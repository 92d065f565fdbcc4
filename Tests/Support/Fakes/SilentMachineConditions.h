#pragma once

#include "StaywakeCore/Machine/MachineConditions.h"

namespace staywake::testing {

/// A conditions notifier that never fires: tests ask the controller to refresh, as opening the panel does.
class SilentMachineConditionsNotifier final : public MachineConditionsNotifier {
public:
    void observe(Handler) override {}
};

} // namespace staywake::testing
