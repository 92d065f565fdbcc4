#pragma once

namespace staywake {

/// Whether the app opens at login.
enum class LoginItemState {
    enabled,          ///< registered and allowed
    disabled,         ///< not registered
    requiresApproval, ///< registered, but waiting for the user's approval
};

} // namespace staywake
