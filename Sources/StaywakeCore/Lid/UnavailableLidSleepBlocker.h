#pragma once

#include "StaywakeCore/Lid/LidSleepBlocker.h"

namespace staywake {

/// Stands in where Night Brew cannot work at all: every renewal is answered
/// at once with helperUnavailable, and there is never anything to give back.
class UnavailableLidSleepBlocker final : public LidSleepBlocker {
public:
    void renew(Date until, Completion completion) override;
    void revoke(Completion completion) override;
    bool isEngaged() const override { return false; }
};

} // namespace staywake
