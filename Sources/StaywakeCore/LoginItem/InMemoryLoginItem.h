#pragma once

#include "StaywakeCore/LoginItem/LoginItem.h"

namespace staywake {

/// A login item that lives only in memory: for previews and tests. Never throws.
class InMemoryLoginItem final : public LoginItem {
public:
    InMemoryLoginItem(LoginItemState state, bool isAtStableLocation)
        : state_(state), isAtStableLocation_(isAtStableLocation) {}

    LoginItemState state() const override { return state_; }
    bool isAtStableLocation() const override { return isAtStableLocation_; }
    void registerItem() override { state_ = LoginItemState::enabled; }
    void unregisterItem() override { state_ = LoginItemState::disabled; }

private:
    LoginItemState state_;
    bool isAtStableLocation_;
};

} // namespace staywake
