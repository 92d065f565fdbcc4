#pragma once

#include "StaywakeCore/Lid/LidAwakeStore.h"

namespace staywake {

/// The acknowledgement kept only as long as the object: for tests and
/// previews.
class InMemoryLidAwakeStore final : public LidAwakeStore {
public:
    explicit InMemoryLidAwakeStore(bool hasAcknowledgedHeatWarning = false)
        : acknowledged_(hasAcknowledgedHeatWarning) {}

    bool hasAcknowledgedHeatWarning() const override { return acknowledged_; }
    void setHasAcknowledgedHeatWarning(bool acknowledged) override { acknowledged_ = acknowledged; }

private:
    bool acknowledged_;
};

} // namespace staywake
