#pragma once

#include <exception>
#include <functional>

namespace staywake {

/// Whether the lid helper may run, as the service manager sees it.
enum class LidHelperStatus {
    /// Registered and allowed to run.
    enabled,
    /// Registered, but the user (or the administrator) has to allow it first.
    requiresApproval,
    /// Known to the system but not registered.
    notRegistered,
    /// The system does not know the helper at all.
    notFound,
};

/// The lid helper's registration with the service manager. The app registers
/// the helper on demand, when Night Brew is first turned on, and never
/// unregisters it. Used on the main thread; nothing here blocks it: a
/// registration may wait minutes for an administrator's password.
class LidHelperRegistration {
public:
    using StatusHandler = std::function<void(LidHelperStatus status)>;
    /// Nothing on success, else the system's error (its message is for the user).
    using Finished = std::function<void(std::exception_ptr error)>;

    virtual ~LidHelperRegistration() = default;

    /// Reads the status; `handler` runs once on the main thread, perhaps
    /// before this returns. Never fails: a state that cannot be read or is not
    /// understood reads as notRegistered, which leads to a registration attempt.
    virtual void readStatus(StatusHandler handler) const = 0;
    /// Registers the helper and makes it run; `finished` runs once on the main
    /// thread. (`register` itself is a C++ keyword.)
    virtual void registerHelper(Finished finished) = 0;
};

} // namespace staywake
