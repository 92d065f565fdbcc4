#pragma once

namespace staywake {

/// Whether the app opens at login.
enum class LoginItemState {
    enabled,          ///< registered and allowed
    disabled,         ///< not registered
    requiresApproval, ///< registered, but waiting for the user's approval
};

/// The system's record of whether the app opens at login. The system keeps the
/// registration; the app stores nothing of its own about it. Used from the main
/// thread; every call is synchronous.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    /// What the system reports right now.
    virtual LoginItemState state() const = 0;
    /// The app lies where a login item of it will still be found at the next
    /// login (an installed location, not a download or a mounted image).
    virtual bool isAtStableLocation() const = 0;
    /// Registers this installation of the app (again); throws a std::exception
    /// whose what() is a message for the user when the system refuses.
    /// (`register` is a reserved word in C++.)
    virtual void registerItem() = 0;
    /// Withdraws the registration; throws like registerItem().
    virtual void unregisterItem() = 0;
};

} // namespace staywake
