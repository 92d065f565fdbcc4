#pragma once

namespace staywake {

/// Where the acknowledgement of the heat warning is kept. Used on the main
/// thread.
class LidAwakeStore {
public:
    virtual ~LidAwakeStore() = default;

    virtual bool hasAcknowledgedHeatWarning() const = 0;
    virtual void setHasAcknowledgedHeatWarning(bool acknowledged) = 0;
};

} // namespace staywake
