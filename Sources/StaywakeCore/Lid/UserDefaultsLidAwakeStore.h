#pragma once

#include "StaywakeCore/Defaults/UserDefaults.h"
#include "StaywakeCore/Lid/LidAwakeStore.h"

#include <memory>
#include <string_view>

namespace staywake {

/// Keeps the acknowledgement of the heat warning as a Boolean in the app's
/// user defaults. Every read goes to the defaults, so a value written by
/// another instance (or another process sharing the defaults) is seen.
class UserDefaultsLidAwakeStore final : public LidAwakeStore {
public:
    static constexpr std::string_view key = "com.staywake.acknowledgedHeatWarning";

    explicit UserDefaultsLidAwakeStore(std::shared_ptr<UserDefaults> defaults);

    /// The defaults' Boolean reading of the key; false when it is missing.
    bool hasAcknowledgedHeatWarning() const override;
    /// Stores a Boolean under the key.
    void setHasAcknowledgedHeatWarning(bool acknowledged) override;

private:
    std::shared_ptr<UserDefaults> defaults_;
};

} // namespace staywake
