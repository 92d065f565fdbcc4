#pragma once

#include "StaywakeCore/Clock/DateProvider.h"

namespace staywake {

/// The system's wall clock. Safe from any thread.
class SystemDateProvider final : public DateProvider {
public:
    Date now() const override;
};

} // namespace staywake
