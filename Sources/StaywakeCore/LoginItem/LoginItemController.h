#pragma once

#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/LoginItem/LoginItem.h"
#include "StaywakeCore/Support/Published.h"

#include <memory>
#include <optional>

namespace staywake {

/// What the panel's "open at login" switch reads and drives. The state always
/// comes from the item (read at construction, after every change and on
/// refresh()), never from a guess. Confined to the main thread.
class LoginItemController final {
public:
    /// With `repairingRegistration`, an enabled item at a stable location is
    /// registered again, so that the registration names this installation.
    LoginItemController(std::shared_ptr<LoginItem> item, bool repairingRegistration);

    LoginItemController(const LoginItemController&) = delete;
    LoginItemController& operator=(const LoginItemController&) = delete;

    /// The state last read from the item.
    const Published<LoginItemState>& state() const { return state_; }
    /// Why the last change of registration failed; cleared by a successful
    /// change and by refresh() seeing the state move on.
    const Published<std::optional<AwakeFailure>>& lastFailure() const { return lastFailure_; }

    bool isEnabled() const { return state_.get() == LoginItemState::enabled; }
    /// Waiting for approval counts as registered.
    bool isRegistered() const { return state_.get() != LoginItemState::disabled; }
    bool needsApproval() const { return state_.get() == LoginItemState::requiresApproval; }
    /// Asks the item each time.
    bool isAtStableLocation() const { return item_->isAtStableLocation(); }

    /// Reads the item's state again, to pick up changes made elsewhere.
    void refresh();
    /// Registers (true) or unregisters (false); a failure lands in lastFailure.
    void setEnabled(bool enabled);
    /// Enables when disabled; otherwise disables (withdrawing a registration
    /// that waits for approval).
    void toggle();

private:
    Published<LoginItemState> state_;
    Published<std::optional<AwakeFailure>> lastFailure_;
    std::shared_ptr<LoginItem> item_;
};

} // namespace staywake
