#include "StaywakeCore/LoginItem/LoginItemController.h"

#include <exception>
#include <utility>

namespace staywake {

LoginItemController::LoginItemController(std::shared_ptr<LoginItem> item, bool repairingRegistration)
    : state_(item->state()), item_(std::move(item)) {
    if (!repairingRegistration || state_.get() != LoginItemState::enabled || !item_->isAtStableLocation()) {
        return;
    }
    try {
        item_->registerItem();
    } catch (...) {
        lastFailure_.set(AwakeFailure(std::current_exception()));
    }
    state_.set(item_->state());
}

void LoginItemController::refresh() {
    const LoginItemState old = state_.get();
    state_.set(item_->state());
    if (state_.get() != old) {
        lastFailure_.set(std::nullopt);
    }
}

void LoginItemController::setEnabled(bool enabled) {
    try {
        if (enabled) {
            item_->registerItem();
        } else {
            item_->unregisterItem();
        }
        lastFailure_.set(std::nullopt);
    } catch (...) {
        lastFailure_.set(AwakeFailure(std::current_exception()));
    }
    state_.set(item_->state());
}

void LoginItemController::toggle() { setEnabled(state_.get() == LoginItemState::disabled); }

} // namespace staywake
