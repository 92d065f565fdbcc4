#pragma once

#include "StaywakeCore/Clock/Date.h"

namespace staywake {

/// The wall clock.
class DateProvider {
public:
    virtual ~DateProvider() = default;
    virtual Date now() const = 0;
};

} // namespace staywake
